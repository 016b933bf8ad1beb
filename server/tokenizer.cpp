// Tokenizer for the T-SQL subset: words, quoted names and strings, numbers, parameters and
// operators, with comments folded into the whitespace before the next token.
#include "server/tokenizer.h"

#include <cctype>

namespace server {

namespace {

bool isWordStart(unsigned char c) {
    return std::isalpha(c) || c == '_' || c >= 0x80;
}
bool isWordChar(unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80;
}

// End of a quoted run starting at `i` (the opening quote); a doubled closing quote is part
// of the text.
std::size_t quotedEnd(std::string_view s, std::size_t i, char close) {
    std::size_t j = i + 1;
    while (j < s.size()) {
        if (s[j] == close) {
            if (j + 1 < s.size() && s[j + 1] == close) {
                j += 2;
                continue;
            }
            return j + 1;
        }
        ++j;
    }
    return s.size();
}

}  // namespace

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool Token::isWord(std::string_view word) const {
    return kind == Kind::Word && equalsNoCase(text, word);
}

std::vector<Token> tokenize(std::string_view s, std::string* trailing) {
    std::vector<Token> out;
    std::string space;
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (std::isspace(c)) {
            space += s[i++];
            continue;
        }
        if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
            const std::size_t nl = s.find('\n', i);
            const std::size_t end = nl == std::string_view::npos ? s.size() : nl + 1;
            space.append(s.substr(i, end - i));
            i = end;
            continue;
        }
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            const std::size_t close = s.find("*/", i + 2);
            const std::size_t end = close == std::string_view::npos ? s.size() : close + 2;
            space.append(s.substr(i, end - i));
            i = end;
            continue;
        }
        Token t;
        std::size_t end = i + 1;
        if (c == '\'') {
            t.kind = Token::Kind::String;
            end = quotedEnd(s, i, '\'');
        } else if (c == '"') {
            t.kind = Token::Kind::DqString;
            end = quotedEnd(s, i, '"');
        } else if (c == '[') {
            t.kind = Token::Kind::Bracketed;
            end = quotedEnd(s, i, ']');
        } else if (c == '`') {
            t.kind = Token::Kind::BackQuoted;
            end = quotedEnd(s, i, '`');
        } else if (std::isdigit(c) || (c == '.' && i + 1 < s.size() &&
                                       std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
            t.kind = Token::Kind::Number;
            if (c == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
                end = i + 2;
                while (end < s.size() && std::isxdigit(static_cast<unsigned char>(s[end]))) ++end;
            } else {
                end = i;
                while (end < s.size() &&
                       (std::isdigit(static_cast<unsigned char>(s[end])) || s[end] == '.'))
                    ++end;
                if (end < s.size() && (s[end] == 'e' || s[end] == 'E')) {
                    std::size_t k = end + 1;
                    if (k < s.size() && (s[k] == '+' || s[k] == '-'))
                        ++k;
                    if (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) {
                        end = k;
                        while (end < s.size() && std::isdigit(static_cast<unsigned char>(s[end])))
                            ++end;
                    }
                }
            }
        } else if (isWordStart(c)) {
            t.kind = Token::Kind::Word;
            while (end < s.size() && isWordChar(static_cast<unsigned char>(s[end]))) ++end;
        } else if ((c == '@' || c == ':' || c == '$') && i + 1 < s.size() &&
                   (isWordChar(static_cast<unsigned char>(s[i + 1])) || s[i + 1] == '@')) {
            t.kind = Token::Kind::Variable;
            end = i + 1;
            while (end < s.size() &&
                   (isWordChar(static_cast<unsigned char>(s[end])) || s[end] == '@'))
                ++end;
        } else if (c == '?') {
            t.kind = Token::Kind::Variable;
            while (end < s.size() && std::isdigit(static_cast<unsigned char>(s[end]))) ++end;
        } else {
            t.kind = Token::Kind::Operator;
            static constexpr std::string_view twoChar[] = {
                "<=", ">=", "<>", "!=", "==", "||", "<<", ">>", "->"};
            for (std::string_view op : twoChar) {
                if (s.substr(i, 2) == op) {
                    end = i + 2;
                    break;
                }
            }
            if (s.substr(i, 3) == "->>")
                end = i + 3;
        }
        t.text = std::string(s.substr(i, end - i));
        t.space = std::move(space);
        space.clear();
        out.push_back(std::move(t));
        i = end;
    }
    if (trailing)
        *trailing = std::move(space);
    return out;
}

std::string unquote(const Token& token) {
    const std::string& t = token.text;
    if (t.size() < 2)
        return t;
    char close = 0;
    switch (token.kind) {
        case Token::Kind::String:
            close = '\'';
            break;
        case Token::Kind::DqString:
            close = '"';
            break;
        case Token::Kind::Bracketed:
            close = ']';
            break;
        case Token::Kind::BackQuoted:
            close = '`';
            break;
        default:
            return t;
    }
    const std::size_t stop = t.back() == close ? t.size() - 1 : t.size();
    std::string out;
    for (std::size_t i = 1; i < stop; ++i) {
        out += t[i];
        if (t[i] == close && i + 1 < stop && t[i + 1] == close)
            ++i;
    }
    return out;
}

std::string quoteString(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out + "'";
}

std::string quoteIdentifier(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + "\"";
}

namespace {

bool endsSelectList(const Token& t) {
    static constexpr std::string_view kClauses[] = {"FROM",   "WHERE",     "GROUP",  "HAVING",
                                                    "WINDOW", "ORDER",     "LIMIT",  "UNION",
                                                    "EXCEPT", "INTERSECT", "VALUES"};
    if (t.is(";"))
        return true;
    for (std::string_view w : kClauses) {
        if (t.isWord(w))
            return true;
    }
    return false;
}

// The type of the item t[begin, end) when it is a whole CAST, else empty.
std::string castType(const std::vector<Token>& t, std::size_t begin, std::size_t end) {
    if (end - begin < 6 || !t[begin].isWord("CAST") || !t[begin + 1].is("("))
        return {};
    std::size_t as = 0;
    std::size_t close = 0;
    int depth = 0;
    for (std::size_t i = begin + 1; i < end && !close; ++i) {
        if (t[i].is("("))
            ++depth;
        else if (t[i].is(")") && --depth == 0)
            close = i;
        else if (depth == 1 && t[i].isWord("AS"))
            as = i;
    }
    if (!close || !as || as + 1 == close)
        return {};
    // After the cast only an alias may follow, or the item is an expression of it.
    const std::size_t rest = end - close - 1;
    if (!(rest == 0 || (rest == 1 && t[close + 1].kind != Token::Kind::Operator) ||
          (rest == 2 && t[close + 1].isWord("AS"))))
        return {};
    std::string type;
    for (std::size_t i = as + 1; i < close; ++i) {
        if (!type.empty() && t[i].kind == Token::Kind::Word && t[i - 1].kind == Token::Kind::Word)
            type += ' ';
        type += t[i].text;
    }
    return type;
}

}  // namespace

std::vector<std::string> selectCastTypes(std::string_view sql) {
    const std::vector<Token> t = tokenize(sql);
    std::size_t i = 0;
    for (int depth = 0; i < t.size(); ++i) {
        if (t[i].is("("))
            ++depth;
        else if (t[i].is(")"))
            --depth;
        else if (depth == 0 && t[i].isWord("SELECT"))
            break;
    }
    if (i == t.size())
        return {};
    ++i;
    if (i < t.size() && (t[i].isWord("DISTINCT") || t[i].isWord("ALL")))
        ++i;
    std::vector<std::string> types;
    bool star = false;
    std::size_t itemStart = i;
    auto finish = [&](std::size_t itemEnd) {
        star = star || (itemEnd > itemStart && t[itemEnd - 1].is("*"));
        types.push_back(castType(t, itemStart, itemEnd));
        itemStart = itemEnd + 1;
    };
    for (int depth = 0; i < t.size(); ++i) {
        if (t[i].is("(")) {
            ++depth;
        } else if (t[i].is(")")) {
            --depth;
        } else if (depth == 0 && t[i].is(",")) {
            finish(i);
        } else if (depth == 0 && endsSelectList(t[i])) {
            break;
        }
    }
    finish(i);
    if (star)
        return {};
    return types;
}

}  // namespace server
