#include "oracle/core/Parser.h"

#include <algorithm>
#include <cstdio>

#include "platform/FormatSettings.h"
#include "platform/SysUtils.h"

namespace oracle {

const TLexemeTable& BaseLexemes() {
    static const TLexemeTable table{
        {"!", "\"", "#", "$", "%", "&", "'", "(", ")", "*", "+", ",", "-", ".", "/", ":", ";", "<", "=", ">",
         "?", "@", "[", "\\", "]", "^", "_", "`", "AND", "NOT", "OR"},
        28,
        3};
    return table;
}

TParser::TParser(const std::string& text) : text_(text), lexemes_(&BaseLexemes()) { Reset(); }

void TParser::SetText(const std::string& text) {
    text_ = text;
    Reset();
}

void TParser::Reset() { pos_ = tokenStart_ = prevTokenStart_ = 0; }

bool TParser::IsBlank(unsigned char c) const { return c == 9 || c == 10 || c == 13 || c == 32; }

bool TParser::IsSymbol(unsigned char c) const {
    return (c >= 33 && c <= 47) || (c >= 58 && c <= 64) || (c >= 91 && c <= 94) || c == 96 ||
           (c >= 123 && c <= 126);
}

bool TParser::IsAlpha(unsigned char c) const { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 128; }

bool TParser::IsNumber(unsigned char c) const { return c >= '0' && c <= '9'; }

bool TParser::IsStringQuote(unsigned char c) const { return c == '"' || c == '\''; }

bool TParser::IsIdentQuote(unsigned char) const { return false; }

bool TParser::IsIdentChar(unsigned char c) const { return IsAlpha(c) || IsNumber(c) || c == '-' || c == '_'; }

bool TParser::StartsAt(size_t position, const std::string& what) const {
    return !what.empty() && text_.compare(position, what.size(), what) == 0;
}

int TParser::FindSymbol(const std::string& text) const {
    for (int i = 0; i < lexemes_->SymbolCount; ++i)
        if (lexemes_->Lexemes[static_cast<size_t>(i)] == text) return i + 1;
    return 0;
}

int TParser::FindKeyword(const std::string& upperText) const {
    const auto first = lexemes_->Lexemes.begin() + lexemes_->SymbolCount;
    const auto last = first + lexemes_->KeywordCount;
    const auto found = std::lower_bound(first, last, upperText);
    if (found == last || *found != upperText) return 0;
    return static_cast<int>(found - lexemes_->Lexemes.begin()) + 1;
}

// A line comment, then a block comment; answers whether one was read.
bool TParser::ReadComment(std::string& token) {
    bool read = false;
    if (StartsAt(pos_, LineComment)) {
        while (At(pos_) != 0 && At(pos_) != '\n' && At(pos_) != '\r') token += static_cast<char>(At(pos_++));
        read = true;
    }
    if (StartsAt(pos_, CommentBegin)) {
        const size_t end = text_.find(CommentEnd, pos_ + CommentBegin.size());
        if (end != std::string::npos && !CommentEnd.empty()) {
            const size_t after = end + CommentEnd.size();
            token.append(text_, pos_, after - pos_);
            pos_ = after;
        } else {
            // An unterminated comment runs to the end of the text and keeps it.
            token.append(text_, pos_, std::string::npos);
            pos_ = text_.size();
        }
        read = true;
    }
    return read;
}

int TParser::GetNext(std::string& token) {
    prevTokenStart_ = tokenStart_;
    tokenStart_ = pos_;
    token.clear();
    while (true) {
        bool blanks = false;
        while (IsBlank(At(pos_))) {
            token += static_cast<char>(At(pos_++));
            blanks = true;
        }
        if (!OmitBlank && blanks) return lcBlank;
        if (At(pos_) == 0) return lcEnd;
        if (!ReadComment(token)) break;
        if (!OmitComment) return lcComment;
    }

    token.clear();
    const unsigned char c = At(pos_);
    int code;
    if (IsSymbol(c) && IsStringQuote(c)) {
        code = lcString;
        if (QuotedString) token += static_cast<char>(c);
        ++pos_;
        while (At(pos_) != 0 && !IsStringQuote(At(pos_))) token += static_cast<char>(At(pos_++));
        if (At(pos_) != 0) {
            if (QuotedString) token += static_cast<char>(At(pos_));
            ++pos_;
        }
    } else if (IsSymbol(c) && IsIdentQuote(c)) {
        code = lcIdent;
        token += static_cast<char>(At(pos_++));
        while (At(pos_) != 0 && !IsIdentQuote(At(pos_))) token += static_cast<char>(At(pos_++));
        if (At(pos_) != 0) token += static_cast<char>(At(pos_++));
    } else if (IsSymbol(c)) {
        // The longest run of symbol characters that the table knows.
        code = lcSymbol;
        token = std::string(1, static_cast<char>(c));
        size_t best = pos_ + 1;
        std::string run;
        for (size_t p = pos_; IsSymbol(At(p));) {
            run += static_cast<char>(At(p++));
            if (const int entry = FindSymbol(run)) {
                code = entry;
                token = run;
                best = p;
            }
        }
        pos_ = best;
    } else if (IsAlpha(c) || c == '_') {
        code = lcIdent;
        while (IsIdentChar(At(pos_))) token += static_cast<char>(At(pos_++));
    } else if (IsNumber(c)) {
        code = lcNumber;
        while (IsNumber(At(pos_))) token += static_cast<char>(At(pos_++));
        const char separator = platform::FormatSettings().DecimalSeparator;
        if (At(pos_) == static_cast<unsigned char>(separator) && IsNumber(At(pos_ + 1))) {
            token += static_cast<char>(At(pos_++));
            while (IsNumber(At(pos_))) token += static_cast<char>(At(pos_++));
        }
    } else {
        char hex[3];
        std::snprintf(hex, sizeof(hex), "%02X", c);
        throw platform::Exception("Parser: The unknown symbol '" + std::string(1, static_cast<char>(c)) + "'  $" +
                                  hex);
    }

    if (code == lcIdent) {
        const std::string upper = platform::AnsiUpperCase(token);
        if (const int keyword = FindKeyword(upper)) {
            code = keyword;
            if (Uppercase) token = upper;
        }
    }
    return code;
}

int TParser::Next() {
    std::string token;
    return GetNext(token);
}

int TParser::ToCode(int code) {
    int got;
    do got = Next();
    while (got != code && got != lcEnd);
    return got;
}

}  // namespace oracle
