#include "db/SqlDialect.h"

#include <QList>

namespace db {

namespace {

enum class Kind { Space, Word, Number, Literal, Bracket, Symbol };

struct Token
{
    Kind kind;
    QString text;
};

bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == '_' || c == '$'; }

QList<Token> tokenize(const QString &s)
{
    QList<Token> out;
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n) {
        const QChar c = s.at(i);
        const qsizetype start = i;
        if (c.isSpace()) {
            while (i < n && s.at(i).isSpace())
                ++i;
            out.append({Kind::Space, s.mid(start, i - start)});
        } else if (c == '\'' || c == '"') {
            // A quoted literal, with a doubled quote standing for itself.
            ++i;
            while (i < n) {
                if (s.at(i) == c) {
                    if (i + 1 < n && s.at(i + 1) == c) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            out.append({Kind::Literal, s.mid(start, i - start)});
        } else if (c == '[') {
            while (i < n && s.at(i) != ']')
                ++i;
            if (i < n)
                ++i;
            out.append({Kind::Bracket, s.mid(start, i - start)});
        } else if (c.isDigit()) {
            while (i < n && (s.at(i).isDigit() || s.at(i) == '.'))
                ++i;
            out.append({Kind::Number, s.mid(start, i - start)});
        } else if (isWordChar(c)) {
            // Words include qualified names such as SpisokDoc.NMVid.
            while (i < n && (isWordChar(s.at(i)) || s.at(i) == '.'))
                ++i;
            out.append({Kind::Word, s.mid(start, i - start)});
        } else {
            ++i;
            out.append({Kind::Symbol, QString(c)});
        }
    }
    return out;
}

bool isWord(const Token &t, const char *w)
{
    return t.kind == Kind::Word && t.text.compare(QLatin1String(w), Qt::CaseInsensitive) == 0;
}

// Index of the next token that is not white space, or -1.
qsizetype nextSolid(const QList<Token> &t, qsizetype from)
{
    for (qsizetype i = from; i < t.size(); ++i)
        if (t[i].kind != Kind::Space)
            return i;
    return -1;
}

qsizetype prevSolid(const QList<Token> &t, qsizetype from)
{
    for (qsizetype i = from; i >= 0; --i)
        if (t[i].kind != Kind::Space)
            return i;
    return -1;
}

bool isSortKeyColumn(const Token &t)
{
    if (t.kind != Kind::Word)
        return false;
    const QString name = t.text.section('.', -1);
    return name.compare(QLatin1String("NMDateTimeTeh_Obrat"), Qt::CaseInsensitive) == 0;
}

} // namespace

QString accessToSqlite(const QString &accessSql)
{
    QList<Token> t = tokenize(accessSql);
    QString out;
    out.reserve(accessSql.size() + 16);
    for (qsizetype i = 0; i < t.size(); ++i) {
        const Token &tok = t[i];
        if (isWord(tok, "DELETE")) {
            const qsizetype star = nextSolid(t, i + 1);
            if (star >= 0 && t[star].kind == Kind::Symbol && t[star].text == "*") {
                const qsizetype from = nextSolid(t, star + 1);
                if (from >= 0 && isWord(t[from], "FROM")) {
                    out += tok.text;
                    i = star; // drop the star; the blank after it stays
                    continue;
                }
            }
        }
        if (isWord(tok, "DROP")) {
            const qsizetype next = nextSolid(t, i + 1);
            // Only inside ALTER TABLE: DROP TABLE / DROP INDEX stay as they are.
            bool inAlter = false;
            for (qsizetype k = prevSolid(t, i - 1), seen = 0; k >= 0 && seen < 3;
                 k = prevSolid(t, k - 1), ++seen) {
                if (isWord(t[k], "TABLE")) {
                    const qsizetype a = prevSolid(t, k - 1);
                    inAlter = a >= 0 && isWord(t[a], "ALTER");
                    break;
                }
            }
            if (inAlter && next >= 0 && !isWord(t[next], "COLUMN") && !isWord(t[next], "CONSTRAINT")) {
                out += tok.text + QStringLiteral(" COLUMN");
                continue;
            }
        }
        if (tok.kind == Kind::Symbol && tok.text == "+") {
            const qsizetype p = prevSolid(t, i - 1);
            const qsizetype nx = nextSolid(t, i + 1);
            const bool numeric = p >= 0 && nx >= 0 && t[p].kind == Kind::Number
                                 && t[nx].kind == Kind::Number;
            out += numeric ? QStringLiteral("+") : QStringLiteral("||");
            continue;
        }
        if (isWord(tok, "CCur")) {
            // CCur ( <sort key column> )  ->  CAST(<column> AS REAL)
            const qsizetype open = nextSolid(t, i + 1);
            const qsizetype col = open >= 0 ? nextSolid(t, open + 1) : -1;
            const qsizetype close = col >= 0 ? nextSolid(t, col + 1) : -1;
            if (close >= 0 && t[open].text == "(" && t[close].text == ")") {
                if (isSortKeyColumn(t[col])) {
                    out += QStringLiteral("CAST(") + t[col].text + QStringLiteral(" AS REAL)");
                    i = close;
                    continue;
                }
                if (t[col].kind == Kind::Number && t[col].text.section('.', 1).size() <= 4) {
                    // A plain number with no more decimals than a currency
                    // amount is its own value: a constant the planner can use.
                    out += t[col].text;
                    i = close;
                    continue;
                }
            }
        }
        if (tok.kind == Kind::Literal && tok.text.startsWith('"') && tok.text.size() >= 2
            && tok.text.endsWith('"')) {
            // Access reads "..." as a text; SQLite would take it for a column
            // name first.
            QString inner = tok.text.mid(1, tok.text.size() - 2);
            inner.replace(QStringLiteral("\"\""), QStringLiteral("\""));
            inner.replace('\'', QStringLiteral("''"));
            out += QLatin1Char('\'') + inner + QLatin1Char('\'');
            continue;
        }
        out += tok.text;
    }
    return out;
}

} // namespace db
