// ShellWords: quoting of words for a POSIX shell, byte for byte, in UTF-8.
#include "core/ShellWords.h"

#include <cstring>

namespace {

const char* const kPlainPunctuation = "-_./,+:@%";
constexpr unsigned char kDelete = 0x7f;
constexpr unsigned char kFirstPrintable = 0x20;

bool IsAsciiAlnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Written as it is, outside any quotes: nothing a shell gives a meaning.
bool IsPlainWord(const std::string& word) {
    for (unsigned char c : word) {
        if (!IsAsciiAlnum(c) && (c == '\0' || !std::strchr(kPlainPunctuation, c)))
            return false;
    }
    return !word.empty();
}

bool InRange(unsigned char c, unsigned char low, unsigned char high) {
    return c >= low && c <= high;
}

// The length of the valid UTF-8 sequence at text[at], or 0 when there is
// none (RFC 3629's table: the second byte's range rules out overlong forms,
// surrogates and code points past U+10FFFF).
size_t Utf8Length(const std::string& text, size_t at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80)
        return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xbf; // the second byte's range
    if (InRange(lead, 0xc2, 0xdf)) {
        length = 2;
    } else if (InRange(lead, 0xe0, 0xef)) {
        length = 3;
        low = lead == 0xe0 ? 0xa0 : 0x80;
        high = lead == 0xed ? 0x9f : 0xbf;
    } else if (InRange(lead, 0xf0, 0xf4)) {
        length = 4;
        low = lead == 0xf0 ? 0x90 : 0x80;
        high = lead == 0xf4 ? 0x8f : 0xbf;
    } else {
        return 0;
    }
    if (at + length > text.size() || !InRange(text[at + 1], low, high))
        return 0;
    for (size_t k = 2; k < length; ++k) {
        if (!InRange(text[at + k], 0x80, 0xbf))
            return 0;
    }
    return length;
}

// A byte that goes through printf: not part of valid UTF-8, or a control
// character a terminal or a log could act on. Tab and newline are plain text.
size_t HiddenLength(const std::string& text, size_t at) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c == '\t' || c == '\n')
        return 0;
    return (c < kFirstPrintable || c == kDelete || Utf8Length(text, at) == 0) ? 1 : 0;
}

std::string Octal(unsigned char c) {
    const char digits[] = {'\\', char('0' + (c >> 6)), char('0' + ((c >> 3) & 7)),
                           char('0' + (c & 7))};
    return std::string(digits, sizeof(digits));
}

// Builds a word from pieces, opening and closing the single quotes as needed.
class QuotedWord {
public:
    void Text(const std::string& text, size_t at, size_t length) {
        if (!mQuoted)
            mOut += '\'';
        mQuoted = true;
        mOut.append(text, at, length);
    }
    void Quote() {
        Close();
        mOut += "\\'";
    }
    void Hidden(const std::string& bytes) {
        Close();
        mOut += "\"$(printf '" + bytes + "')\"";
    }
    std::string Done() {
        Close();
        return mOut;
    }

private:
    void Close() {
        if (mQuoted)
            mOut += '\'';
        mQuoted = false;
    }
    std::string mOut;
    bool mQuoted = false;
};

} // namespace

std::string ShellWord(const std::string& word) {
    if (IsPlainWord(word))
        return word;
    if (word.empty())
        return "''";
    QuotedWord out;
    size_t at = 0;
    while (at < word.size()) {
        if (HiddenLength(word, at) > 0) {
            std::string octal;
            for (; at < word.size() && HiddenLength(word, at) > 0; ++at)
                octal += Octal(static_cast<unsigned char>(word[at]));
            out.Hidden(octal);
        } else if (word[at] == '\'') {
            out.Quote();
            ++at;
        } else {
            const size_t length = Utf8Length(word, at);
            out.Text(word, at, length);
            at += length;
        }
    }
    return out.Done();
}

std::string ShellCommand(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words)
        line += (line.empty() ? "" : " ") + ShellWord(word);
    return line;
}
