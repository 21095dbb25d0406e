#include "host/scenario/Lexer.h"

#include <cctype>

namespace quill::scenario {

Tokens tokenize(std::string_view line) {
    Tokens tokens;
    std::size_t i = 0;
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (i < line.size()) {
        const char c = line[i];
        if (isSpace(c)) {
            ++i;
            continue;
        }
        if (c == '#') break;
        Token token;
        if (c == '"') {
            token.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                const char d = line[i];
                if (d == '"') {
                    closed = true;
                    ++i;
                    break;
                }
                if (d == '\\' && i + 1 < line.size() &&
                    (line[i + 1] == '"' || line[i + 1] == '\\')) {
                    token.text += line[i + 1];
                    token.raw += line.substr(i, 2);
                    i += 2;
                    continue;
                }
                if (static_cast<unsigned char>(d) < 0x20 && d != '\t')
                    throw LineError{"control character in quoted text"};
                token.text += d;
                token.raw += d;
                ++i;
            }
            if (!closed) throw LineError{"quoted text is not closed (missing \")"};
            if (i < line.size() && !isSpace(line[i]) && line[i] != '#')
                throw LineError{"a space must follow quoted text"};
        } else {
            while (i < line.size() && !isSpace(line[i])) {
                const char d = line[i];
                if (d == '"') throw LineError{"a quote may only begin a word"};
                if (static_cast<unsigned char>(d) < 0x20) throw LineError{"control character"};
                token.text += d;
                ++i;
            }
        }
        if (token.text.size() > kMaxTokenLength)
            throw LineError{"word longer than " + std::to_string(kMaxTokenLength) + " characters"};
        tokens.push_back(std::move(token));
    }
    return tokens;
}

std::string withoutComment(std::string_view line) {
    bool insideQuotes = false;
    bool wordStart = true;
    std::size_t end = line.size();
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (insideQuotes) {
            if (c == '\\' && i + 1 < line.size()) {
                ++i;
            } else if (c == '"') {
                insideQuotes = false;
            }
            continue;
        }
        if (c == '"') {
            insideQuotes = true;
        } else if (c == '#' && wordStart) {
            end = i;
            break;
        }
        wordStart = c == ' ' || c == '\t';
    }
    std::string_view kept = line.substr(0, end);
    while (!kept.empty() && std::isspace(static_cast<unsigned char>(kept.back())))
        kept.remove_suffix(1);
    while (!kept.empty() && std::isspace(static_cast<unsigned char>(kept.front())))
        kept.remove_prefix(1);
    return std::string(kept);
}

}  // namespace quill::scenario
