#pragma once

#include <string>
#include <utility>

namespace formats {

// What kind of failure a step had; the command-line tool turns it into its exit code.
enum class Fault {
    None = 0,
    Usage = 1,   // wrong arguments
    File = 2,    // a file cannot be read or written
    Map = 3,     // the map does not fit, or the ROM's map region is broken
    BadData = 4, // malformed input: CSV, TMX, patch, palette
};

// The result of a step that can fail: what went wrong and one line for the user that
// names the file and the place.
struct Result {
    Fault fault = Fault::None;
    std::string message;

    bool Ok() const { return fault == Fault::None; }
};

// The user's input as a message shows it: control characters (a line break in an XML
// attribute or a quoted field, say) as \xNN, so that the message stays one line; and when
// that is longer than `longest` bytes, cut between characters, with "...".
inline std::string Shown(const std::string& text, std::size_t longest = std::string::npos) {
    std::string shown;
    for (std::size_t i = 0; i < text.size();) {
        const auto u = static_cast<unsigned char>(text[i]);
        std::size_t next = i + 1;
        std::string piece;
        if (u < 0x20 || u == 0x7F) {
            const char* hex = "0123456789ABCDEF";
            piece = std::string("\\x") + hex[u >> 4] + hex[u & 15];
        } else {
            // A UTF-8 character stays whole: its continuation bytes go with it.
            while (next < text.size() && next - i < 4 &&
                   (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80) {
                ++next;
            }
            piece = text.substr(i, next - i);
        }
        if (shown.size() + piece.size() > longest) {
            return shown + "...";
        }
        shown += piece;
        i = next;
    }
    return shown;
}

// A piece of the user's input to quote in a message: at most 40 bytes shown, so that an
// error stays one readable line whatever the file holds.
inline std::string Clip(const std::string& text) {
    return Shown(text, 40);
}

// A message from a library that quotes the user's input between single quotes: each quoted
// piece clipped as above, and the rest, which may hold unquoted input too, shown and cut
// at 80 bytes a piece.
inline std::string ClipQuoted(const std::string& message) {
    constexpr std::size_t Longest = 80;
    std::string out;
    std::size_t at = 0;
    for (;;) {
        const std::size_t open = message.find('\'', at);
        const std::size_t close =
            open == std::string::npos ? std::string::npos : message.find('\'', open + 1);
        if (close == std::string::npos) {
            return out + Shown(message.substr(at), Longest);
        }
        out += Shown(message.substr(at, open + 1 - at), Longest) +
               Clip(message.substr(open + 1, close - open - 1));
        at = close;
        out += '\'';
        ++at;
    }
}

inline Result Done() {
    return {};
}
inline Result Fail(Fault fault, std::string message) {
    return {fault, std::move(message)};
}
// A failure about a file: its name shown as any input is (a line break in it stays on the
// message's one line), then what is wrong.
inline Result FileFail(Fault fault, const std::string& file, const std::string& what) {
    return {fault, Shown(file) + ": " + what};
}

} // namespace formats
