// Splits T-SQL text into tokens for the statement rewriter and the procedure runner.
// Each token keeps the whitespace and comments before it, so untouched statements are
// handed to SQLite exactly as they were written.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace server {

struct Token {
    enum class Kind {
        Word,        // identifier or keyword
        Bracketed,   // [name]
        String,      // 'text'
        DqString,    // "text": a string constant, as with QUOTED_IDENTIFIER OFF
        BackQuoted,  // `name`
        Number,
        Variable,  // @name, :name, $name, ?
        Operator,  // punctuation and operators, including ( ) , ; .
    };
    Kind kind = Kind::Operator;
    std::string text;   // the token as written
    std::string space;  // whitespace and comments before it

    bool is(std::string_view op) const { return kind == Kind::Operator && text == op; }
    // Case-insensitive match of a word (keyword test).
    bool isWord(std::string_view word) const;
};

// Tokenizes the whole text; text after the last token is returned in `trailing` when given.
// Unterminated strings and comments end at the end of the text (SQLite reports them).
std::vector<Token> tokenize(std::string_view sql, std::string* trailing = nullptr);

// The value of a quoted token without its quotes, doubled quotes undone.
std::string unquote(const Token& token);
// 'text' with single quotes doubled: a safe SQLite string literal.
std::string quoteString(std::string_view text);
// "name" with double quotes doubled: a safe SQLite identifier.
std::string quoteIdentifier(std::string_view name);

bool equalsNoCase(std::string_view a, std::string_view b);

// For each select item of a statement's first SELECT (after any WITH clause), the type it is
// written as when the whole item is CAST(<expr> AS <type>) [[AS] alias], else empty. Empty
// altogether when an item is a * (its columns cannot be told apart from the text).
std::vector<std::string> selectCastTypes(std::string_view sql);

}  // namespace server
