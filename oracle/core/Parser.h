// TParser: table-driven tokenizer of zero-terminated texts (blanks, comments,
// strings, numbers, identifiers, keywords, symbols). Derived tokenizers supply
// their own lexeme table and character classes: the filter parser, the Oracle SQL
// tokenizer and the statement and macro scanners.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace oracle {

// Token codes besides the positive lexeme-table entries.
inline constexpr int lcEnd = 0;
inline constexpr int lcSymbol = -102;
inline constexpr int lcIdent = -103;
inline constexpr int lcNumber = -105;
inline constexpr int lcString = -106;
inline constexpr int lcBlank = -107;
inline constexpr int lcComment = -108;

// Symbols first, then keywords sorted by the ordinal order of their upper-case text.
struct TLexemeTable {
    std::vector<std::string> Lexemes;
    uint16_t SymbolCount = 0;
    uint16_t KeywordCount = 0;
};

class TParser {
public:
    explicit TParser(const std::string& text);
    TParser(const TParser&) = delete;
    TParser& operator=(const TParser&) = delete;
    virtual ~TParser() = default;

    bool OmitBlank = true;
    bool OmitComment = false;
    bool Uppercase = true;
    bool QuotedString = false;
    std::string CommentBegin = "/*";
    std::string CommentEnd = "*/";
    std::string LineComment = "//";

    void SetText(const std::string& text);
    void Reset();
    int GetNext(std::string& token);
    int Next();
    // Reads until the code (or the end) comes; answers the last code.
    int ToCode(int code);
    // The last token is read again.
    void Back() { pos_ = tokenStart_; }
    int CurrPos() const { return static_cast<int>(pos_); }
    int PrevPos() const { return static_cast<int>(tokenStart_); }
    int PrevPrevPos() const { return static_cast<int>(prevTokenStart_); }
    const TLexemeTable& Lexemes() const { return *lexemes_; }

protected:
    virtual bool IsBlank(unsigned char c) const;
    virtual bool IsSymbol(unsigned char c) const;
    virtual bool IsAlpha(unsigned char c) const;
    virtual bool IsNumber(unsigned char c) const;
    virtual bool IsStringQuote(unsigned char c) const;
    virtual bool IsIdentQuote(unsigned char c) const;
    // Characters that continue an identifier once a letter or '_' began it: letters,
    // digits, '-' and '_' here.
    virtual bool IsIdentChar(unsigned char c) const;
    // Derived tokenizers install their table in their constructor; it must outlive them.
    void SetLexemes(const TLexemeTable& table) { lexemes_ = &table; }

private:
    unsigned char At(size_t position) const {
        return position < text_.size() ? static_cast<unsigned char>(text_[position]) : 0;
    }
    bool StartsAt(size_t position, const std::string& what) const;
    bool ReadComment(std::string& token);
    int FindSymbol(const std::string& text) const;
    int FindKeyword(const std::string& upperText) const;

    std::string text_;
    size_t pos_ = 0;
    size_t tokenStart_ = 0;
    size_t prevTokenStart_ = 0;
    const TLexemeTable* lexemes_;
};

// The base table: 28 one-character symbols, then AND, NOT, OR.
const TLexemeTable& BaseLexemes();

// Tokenizers are created by class where the caller chooses the class at run time.
using TParserFactory = std::unique_ptr<TParser> (*)(const std::string& text);
template <class T>
std::unique_ptr<TParser> CreateParser(const std::string& text) {
    return std::make_unique<T>(text);
}

}  // namespace oracle
