#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/Result.h"

namespace formats {

// A reader's place in a text, counting lines and columns for its messages: lines from 1,
// columns in bytes from 1. The readers of CSV maps, paste blocks, enemy tables and a Tiled
// layer's CSV all scan with it, so they agree on what a blank, a line end and a number are.
class Scanner {
  public:
    struct Place {
        long line = 1;
        std::size_t column = 1;
    };

    // `line` and `column` are where `text` starts in its file: a Tiled layer's CSV starts
    // inside the XML. A UTF-8 byte order mark at the start of a file is passed over.
    explicit Scanner(std::string_view text, long line = 1, std::size_t column = 1)
        : text_(text), line_(line), firstColumn_(column) {
        if (line == 1 && column == 1 && text_.starts_with("\xEF\xBB\xBF")) {
            pos_ = lineStart_ = 3;
        }
    }

    bool AtEnd() const { return pos_ >= text_.size(); }
    // The next byte, or '\0' at the end.
    char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }
    std::size_t Pos() const { return pos_; }

    // Past one byte, counting the line it ends.
    void Next() {
        if (text_[pos_++] == '\n') {
            ++line_;
            lineStart_ = pos_;
            firstColumn_ = 1;
        }
    }
    static bool IsBlank(char c) { return c == ' ' || c == '\t'; }
    static bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    // Past spaces and tabs; past line ends too with `lines`.
    void SkipBlanks(bool lines = false) {
        while (!AtEnd() && (IsBlank(Peek()) || (lines && IsLineEnd(Peek())))) {
            Next();
        }
    }
    // Past the end of this line: CRLF or LF, or the end of the text. False when something
    // else stands here.
    bool EndLine() {
        if (Peek() == '\r') {
            Next();
        }
        if (AtEnd()) {
            return true;
        }
        if (Peek() != '\n') {
            return false;
        }
        Next();
        return true;
    }
    // Whether only blanks and line ends are left.
    bool OnlySpaceLeft() const {
        return std::all_of(text_.begin() + static_cast<long>(std::min(pos_, text_.size())),
                           text_.end(), [](char c) { return IsBlank(c) || IsLineEnd(c); });
    }

    Place Here() const { return {line_, pos_ - lineStart_ + firstColumn_}; }
    // The place of an earlier or later byte of the text (for a reader that found it by other
    // means); counts from the start, so only for a message.
    Place PlaceOf(std::size_t offset) const {
        Scanner at(text_, startLine_, startColumn_);
        while (at.pos_ < offset && !at.AtEnd()) {
            at.Next();
        }
        return at.Here();
    }

    // A number as written: a minus sign where `minus` allows one, then digits. The value
    // stops growing at `cap`, which is past any limit a caller has.
    struct Number {
        std::size_t start = 0;
        std::size_t end = 0;
        bool negative = false;
        uint64_t value = 0;
        bool hasDigits = false;
    };
    Number ReadNumber(bool minus, uint64_t cap) {
        Number n{pos_, pos_, minus && Peek() == '-', 0, false};
        if (n.negative) {
            Next();
        }
        while (IsDigit(Peek())) {
            n.value = std::min<uint64_t>(n.value * 10 + static_cast<uint64_t>(Peek() - '0'), cap);
            n.hasDigits = true;
            Next();
        }
        n.end = pos_;
        return n;
    }
    std::string Token(const Number& n) const {
        return std::string(text_.substr(n.start, n.end - n.start));
    }
    // Back to where a number started, so a message points at it.
    void Back(const Number& n) { pos_ = n.start; }

    // A fault at `at` in the file `name`.
    static Result Error(const std::string& name, Place at, const std::string& what) {
        return FileFail(Fault::BadData, name,
                        "line " + std::to_string(at.line) + ", column " +
                            std::to_string(at.column) + ": " + what);
    }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t lineStart_ = 0;
    long line_;
    std::size_t firstColumn_; // the column of lineStart_
    long startLine_ = line_;
    std::size_t startColumn_ = firstColumn_;
};

// `text` without the spaces and tabs around it.
inline std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    return first == std::string_view::npos
               ? std::string_view()
               : text.substr(first, text.find_last_not_of(" \t") + 1 - first);
}

// `token`, blanks around it dropped, as a whole number 0 to `largest` into `value`; else
// why it is not one, in a message about `label`.
inline std::string CheckNumber(const std::string& label, std::string_view token, int largest,
                               int& value) {
    const std::string trimmed(Trimmed(token));
    if (trimmed.empty()) {
        return label + " is empty";
    }
    Scanner scan(trimmed, 2); // a token inside a line: no byte order mark to pass over
    const Scanner::Number n = scan.ReadNumber(true, 1000000);
    if (!n.hasDigits || !scan.AtEnd()) {
        return label + " '" + Clip(trimmed) + "' is not a whole number";
    }
    if ((n.negative && n.value > 0) || n.value > static_cast<uint64_t>(largest)) {
        return label + " " + Clip(trimmed) + " is outside 0 to " + std::to_string(largest);
    }
    value = static_cast<int>(n.value);
    return {};
}

} // namespace formats
