// The T-SQL rewrite. Tokens are grouped into a tree of parenthesised groups and CASE..END
// blocks; each level is then rewritten on its own: select-item aliases first, then chains
// of + and - whose + turns into tsql_add() so that text is joined and numbers added.
#include "server/rewriter.h"

#include "server/tokenizer.h"

#include <algorithm>
#include <array>

namespace server {

namespace {

struct Node {
    enum class Kind { Leaf, Paren, Case };
    Kind kind = Kind::Leaf;
    Token open;   // the leaf itself, "(" or CASE
    Token close;  // ")" or END when closed
    bool closed = false;
    std::vector<Node> items;
};

Token makeToken(Token::Kind kind, std::string text, std::string space = " ") {
    Token t;
    t.kind = kind;
    t.text = std::move(text);
    t.space = std::move(space);
    return t;
}

Node leaf(Token t) {
    Node n;
    n.open = std::move(t);
    return n;
}

// Keywords that end an expression at their level (a + chain never runs across them).
constexpr std::array kBreakKeywords = {
    "SELECT",    "DISTINCT", "ALL",     "FROM",      "WHERE",   "GROUP",   "BY",     "HAVING",
    "ORDER",     "ASC",      "DESC",    "LIMIT",     "OFFSET",  "UNION",   "EXCEPT", "INTERSECT",
    "AS",        "ON",       "USING",   "JOIN",      "LEFT",    "RIGHT",   "FULL",   "INNER",
    "OUTER",     "CROSS",    "NATURAL", "AND",       "OR",      "NOT",     "IS",     "IN",
    "LIKE",      "GLOB",     "REGEXP",  "MATCH",     "BETWEEN", "ESCAPE",  "WHEN",   "THEN",
    "ELSE",      "END",      "INTO",    "VALUES",    "SET",     "UPDATE",  "INSERT", "DELETE",
    "WITH",      "WINDOW",   "OVER",    "PARTITION", "FILTER",  "NULLS",   "ISNULL", "NOTNULL",
    "RETURNING", "EXISTS",   "TOP",     "DEFAULT",   "CHECK",   "CREATE",  "TABLE",  "DROP",
    "INDEX",     "VIEW",     "TRIGGER", "BEGIN",     "COMMIT",  "ROLLBACK"};

// Clauses that end a select list.
constexpr std::array kSelectListEnd = {"FROM",   "WHERE",     "GROUP", "ORDER", "HAVING", "UNION",
                                       "EXCEPT", "INTERSECT", "LIMIT", "INTO",  "WINDOW"};

template <std::size_t N>
bool isOneOf(const Token& t, const std::array<const char*, N>& words) {
    return t.kind == Token::Kind::Word &&
           std::any_of(words.begin(), words.end(),
                       [&](const char* w) { return equalsNoCase(t.text, w); });
}

bool isLeaf(const Node& n) {
    return n.kind == Node::Kind::Leaf;
}
bool isLeafOp(const Node& n, std::string_view op) {
    return isLeaf(n) && n.open.is(op);
}

bool isDbo(const Token& t) {
    return (t.kind == Token::Kind::Word || t.kind == Token::Kind::Bracketed) &&
           equalsNoCase(unquote(t), "dbo");
}

bool isNameToken(const Token& t) {
    return t.kind == Token::Kind::Bracketed || t.kind == Token::Kind::BackQuoted ||
           (t.kind == Token::Kind::Word && !isOneOf(t, kBreakKeywords));
}

// db.dbo.table -> db.table, db..table -> db.table, dbo.table -> table; N'x' -> 'x'.
void rewriteNames(std::vector<Token>& t) {
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i].isWord("N") && i + 1 < t.size() && t[i + 1].kind == Token::Kind::String &&
            t[i + 1].space.empty()) {
            t[i + 1].space = t[i].space;
            t.erase(t.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        if (!isNameToken(t[i]) || i + 2 >= t.size() || !t[i + 1].is("."))
            continue;
        const bool afterDot = i > 0 && t[i - 1].is(".");
        if (t[i + 2].is(".")) {
            t.erase(t.begin() + static_cast<std::ptrdiff_t>(i + 2));
        } else if (isDbo(t[i + 2]) && i + 3 < t.size() && t[i + 3].is(".")) {
            t.erase(t.begin() + static_cast<std::ptrdiff_t>(i + 2),
                    t.begin() + static_cast<std::ptrdiff_t>(i + 4));
        } else if (isDbo(t[i]) && !afterDot) {
            t[i + 2].space = t[i].space;
            t.erase(t.begin() + static_cast<std::ptrdiff_t>(i),
                    t.begin() + static_cast<std::ptrdiff_t>(i + 2));
        }
    }
}

// Groups tokens into parentheses and CASE..END; an unmatched ")" or END stays a leaf.
std::vector<Node> buildTree(const std::vector<Token>& t, std::size_t& i, Node* parent) {
    std::vector<Node> seq;
    while (i < t.size()) {
        const Token& tok = t[i];
        if (parent && parent->kind == Node::Kind::Paren && tok.is(")")) {
            parent->close = tok;
            parent->closed = true;
            ++i;
            return seq;
        }
        if (parent && parent->kind == Node::Kind::Case && tok.isWord("END")) {
            parent->close = tok;
            parent->closed = true;
            ++i;
            return seq;
        }
        ++i;
        if (tok.is("(") || tok.isWord("CASE")) {
            Node group;
            group.kind = tok.is("(") ? Node::Kind::Paren : Node::Kind::Case;
            group.open = tok;
            group.items = buildTree(t, i, &group);
            seq.push_back(std::move(group));
        } else {
            seq.push_back(leaf(tok));
        }
    }
    return seq;
}

std::string& leadingSpace(Node& n) {
    return n.open.space;
}

// 'alias'=expr, "alias"=expr, [alias]=expr and alias=expr in select lists become
// expr AS "alias".
void rewriteAliases(std::vector<Node>& seq) {
    for (std::size_t s = 0; s < seq.size(); ++s) {
        if (!isLeaf(seq[s]) || !seq[s].open.isWord("SELECT"))
            continue;
        std::size_t k = s + 1;
        while (k < seq.size() && isLeaf(seq[k]) &&
               (seq[k].open.isWord("DISTINCT") || seq[k].open.isWord("ALL")))
            ++k;
        while (k < seq.size()) {
            std::size_t end = k;
            while (end < seq.size() && !isLeafOp(seq[end], ",") && !isLeafOp(seq[end], ";") &&
                   !(isLeaf(seq[end]) && isOneOf(seq[end].open, kSelectListEnd)))
                ++end;
            const Token& alias = seq[k].open;
            const bool aliasShape =
                isLeaf(seq[k]) && end > k + 2 && isLeafOp(seq[k + 1], "=") &&
                (alias.kind == Token::Kind::String || alias.kind == Token::Kind::DqString ||
                 alias.kind == Token::Kind::Bracketed ||
                 (alias.kind == Token::Kind::Word && !isOneOf(alias, kBreakKeywords)));
            if (aliasShape) {
                const std::string name =
                    alias.kind == Token::Kind::Word ? alias.text : unquote(alias);
                const std::string space = alias.space;
                std::vector<Node> item(
                    std::make_move_iterator(seq.begin() + static_cast<std::ptrdiff_t>(k + 2)),
                    std::make_move_iterator(seq.begin() + static_cast<std::ptrdiff_t>(end)));
                leadingSpace(item.front()) = space;
                item.push_back(leaf(makeToken(Token::Kind::Word, "AS")));
                item.push_back(leaf(makeToken(Token::Kind::Word, quoteIdentifier(name))));
                const std::size_t newEnd = k + item.size();
                seq.erase(seq.begin() + static_cast<std::ptrdiff_t>(k),
                          seq.begin() + static_cast<std::ptrdiff_t>(end));
                seq.insert(seq.begin() + static_cast<std::ptrdiff_t>(k),
                           std::make_move_iterator(item.begin()),
                           std::make_move_iterator(item.end()));
                end = newEnd;
            }
            if (end >= seq.size() || !isLeafOp(seq[end], ","))
                break;
            k = end + 1;
        }
    }
}

constexpr std::array kOperandKeywords = {
    "NULL", "CAST",  "CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP",
    "TRUE", "FALSE", "COLLATE",      "RAISE"};

bool isBreaker(const Node& n) {
    if (!isLeaf(n))
        return false;
    const Token& t = n.open;
    if (t.kind == Token::Kind::Word)
        return isOneOf(t, kBreakKeywords) && !isOneOf(t, kOperandKeywords);
    if (t.kind != Token::Kind::Operator)
        return false;
    static constexpr std::array<std::string_view, 7> inOperand = {"+", "-",  "*", "/",
                                                                  "%", "||", "~"};
    return std::find(inOperand.begin(), inOperand.end(), t.text) == inOperand.end() &&
           t.text != ".";
}

// After this node, does the operand still need a term (so a following + or - is unary)?
bool wantsTerm(const Node& n) {
    if (!isLeaf(n))
        return false;
    const Token& t = n.open;
    if (t.kind == Token::Kind::Operator)
        return true;
    return t.isWord("COLLATE");
}

// a + b - c + d -> tsql_add(tsql_add(a, b) - c, d): + keeps its precedence and left order.
void rewriteChains(std::vector<Node>& seq) {
    std::vector<Node> out;
    std::size_t i = 0;
    while (i < seq.size()) {
        if (isBreaker(seq[i])) {
            out.push_back(std::move(seq[i++]));
            continue;
        }
        std::vector<std::vector<Node>> parts(1);
        std::vector<Node> ops;
        bool expectTerm = true;
        std::size_t j = i;
        for (; j < seq.size() && !isBreaker(seq[j]); ++j) {
            if (!expectTerm && (isLeafOp(seq[j], "+") || isLeafOp(seq[j], "-"))) {
                ops.push_back(seq[j]);
                parts.emplace_back();
                expectTerm = true;
                continue;
            }
            expectTerm = wantsTerm(seq[j]);
            parts.back().push_back(seq[j]);
        }
        const bool hasPlus =
            std::any_of(ops.begin(), ops.end(), [](const Node& n) { return n.open.is("+"); });
        const bool complete = std::none_of(parts.begin(), parts.end(),
                                           [](const std::vector<Node>& p) { return p.empty(); });
        if (!hasPlus || !complete) {
            for (; i < j; ++i) out.push_back(std::move(seq[i]));
            continue;
        }
        std::vector<Node> acc = std::move(parts[0]);
        const std::string space = leadingSpace(acc.front());
        leadingSpace(acc.front()).clear();
        for (std::size_t p = 0; p < ops.size(); ++p) {
            if (ops[p].open.is("+")) {
                Node call;
                call.kind = Node::Kind::Paren;
                call.open = makeToken(Token::Kind::Operator, "(", "");
                call.close = makeToken(Token::Kind::Operator, ")", "");
                call.closed = true;
                call.items = std::move(acc);
                call.items.push_back(leaf(makeToken(Token::Kind::Operator, ",", "")));
                for (Node& n : parts[p + 1]) call.items.push_back(std::move(n));
                acc.clear();
                acc.push_back(leaf(makeToken(Token::Kind::Word, "tsql_add", "")));
                acc.push_back(std::move(call));
            } else {
                acc.push_back(std::move(ops[p]));
                for (Node& n : parts[p + 1]) acc.push_back(std::move(n));
            }
        }
        leadingSpace(acc.front()) = space;
        for (Node& n : acc) out.push_back(std::move(n));
        i = j;
    }
    seq = std::move(out);
}

void rewriteLevel(std::vector<Node>& seq) {
    for (Node& n : seq) {
        if (!isLeaf(n))
            rewriteLevel(n.items);
    }
    rewriteAliases(seq);
    rewriteChains(seq);
}

void emitToken(const Token& t, std::string& out) {
    out += t.space;
    switch (t.kind) {
        case Token::Kind::Bracketed:
            out += quoteIdentifier(unquote(t));
            break;
        case Token::Kind::DqString:
            out += quoteString(unquote(t));
            break;
        default:
            out += t.text;
            break;
    }
}

void emit(const std::vector<Node>& seq, std::string& out) {
    for (const Node& n : seq) {
        emitToken(n.open, out);
        if (isLeaf(n))
            continue;
        emit(n.items, out);
        if (n.closed)
            emitToken(n.close, out);
    }
}

}  // namespace

std::string Rewriter::rewrite(std::string_view tsql) {
    std::string trailing;
    std::vector<Token> tokens = tokenize(tsql, &trailing);
    rewriteNames(tokens);
    std::size_t i = 0;
    std::vector<Node> tree = buildTree(tokens, i, nullptr);
    rewriteLevel(tree);
    std::string out;
    out.reserve(tsql.size() + 32);
    emit(tree, out);
    return out + trailing;
}

}  // namespace server
