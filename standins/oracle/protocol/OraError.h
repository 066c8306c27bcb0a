// An Oracle error as the server reports it: the code and "ORA-nnnnn: text\n".
#pragma once
#include <stdexcept>
#include <string>

namespace orastandin {

class OraError : public std::runtime_error {
 public:
  // The standard text of a known code, with the placeholders filled from args (in order).
  OraError(int code, const std::string& arg1 = {}, const std::string& arg2 = {});
  // An error whose text was made elsewhere (the server's reply).
  static OraError Verbatim(int code, const std::string& text, int offset);
  int Code() const { return code_; }
  const std::string& Text() const { return text_; }
  int Offset() const { return offset_; }
  void SetOffset(int offset) { offset_ = offset; }

  static std::string TextOf(int code, const std::string& arg1 = {}, const std::string& arg2 = {});

 private:
  int code_;
  std::string text_;
  int offset_ = 0;
};

}  // namespace orastandin
