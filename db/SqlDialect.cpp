#include "db/SqlDialect.h"
#include "db/SqlFunctions.h"

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


// The ")" closing the "(" at `open`, or -1.
qsizetype closingParen(const QList<Token> &t, qsizetype open)
{
    int depth = 0;
    for (qsizetype i = open; i < t.size(); ++i) {
        if (t[i].kind != Kind::Symbol)
            continue;
        if (t[i].text == "(")
            ++depth;
        else if (t[i].text == ")" && --depth == 0)
            return i;
    }
    return -1;
}

// The arguments between "(" at `open` and its ")" at `close`, as token ranges.
QList<std::pair<qsizetype, qsizetype>> arguments(const QList<Token> &t, qsizetype open,
                                                 qsizetype close)
{
    QList<std::pair<qsizetype, qsizetype>> out;
    int depth = 0;
    qsizetype start = open + 1;
    for (qsizetype i = open + 1; i < close; ++i) {
        if (t[i].kind != Kind::Symbol)
            continue;
        if (t[i].text == "(")
            ++depth;
        else if (t[i].text == ")")
            --depth;
        else if (t[i].text == "," && depth == 0) {
            out.append({start, i});
            start = i + 1;
        }
    }
    if (nextSolid(t, start) >= 0 && nextSolid(t, start) < close)
        out.append({start, close});
    return out;
}

// PostgreSQL folds unquoted names to lower case (ASCII letters only in a
// UTF-8 database); a bracketed name is folded the same way, so that
// [NMFIO], NMFIO and nmfio all name one column.
QString foldedName(QString name)
{
    for (QChar &c : name)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    return name;
}

// The rewrites both engines need alike: DELETE * FROM, ALTER TABLE ... DROP c
// and the text + of Access. True when token i was written to `out` (and i
// moved past what it took).
bool rewriteShared(const QList<Token> &t, qsizetype &i, QString &out)
{
    const Token &tok = t[i];
    if (isWord(tok, "DELETE")) {
        const qsizetype star = nextSolid(t, i + 1);
        if (star >= 0 && t[star].kind == Kind::Symbol && t[star].text == "*") {
            const qsizetype from = nextSolid(t, star + 1);
            if (from >= 0 && isWord(t[from], "FROM")) {
                out += tok.text;
                i = star; // drop the star; the blank after it stays
                return true;
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
            return true;
        }
    }
    if (tok.kind == Kind::Symbol && tok.text == "+") {
        const qsizetype p = prevSolid(t, i - 1);
        const qsizetype nx = nextSolid(t, i + 1);
        const bool numeric = p >= 0 && nx >= 0 && t[p].kind == Kind::Number
                             && t[nx].kind == Kind::Number;
        out += numeric ? QStringLiteral("+") : QStringLiteral("||");
        return true;
    }
    return false;
}

QString singleQuoted(const QString &text)
{
    QString inner = text;
    inner.replace('\'', QStringLiteral("''"));
    return QLatin1Char('\'') + inner + QLatin1Char('\'');
}

// The text of a quoted literal token ('..' or ".."), quotes undone.
QString literalText(const Token &tok)
{
    const QChar q = tok.text.at(0);
    QString inner = tok.text.mid(1, tok.text.size() - 2);
    inner.replace(QString(2, q), QString(q));
    return inner;
}

// SQLite's GLOB pattern as an anchored POSIX regular expression: * and ?
// are wild, [...] is a class, everything else stands for itself.
QString globToRegex(const QString &glob)
{
    QString re = QStringLiteral("^");
    for (qsizetype i = 0; i < glob.size(); ++i) {
        const QChar c = glob.at(i);
        if (c == '*') {
            re += QStringLiteral(".*");
        } else if (c == '?') {
            re += QLatin1Char('.');
        } else if (c == '[') {
            const qsizetype end = glob.indexOf(']', i + 2);
            if (end < 0) {
                re += QStringLiteral("\\[");
                continue;
            }
            QString cls = glob.mid(i + 1, end - i - 1);
            if (cls.startsWith('^'))
                cls[0] = '^';
            cls.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
            re += QLatin1Char('[') + cls + QLatin1Char(']');
            i = end;
        } else if (QStringLiteral("\\.^$|()+{}").contains(c)) {
            re += QLatin1Char('\\') + c;
        } else {
            re += c;
        }
    }
    return re + QLatin1Char('$');
}

// Access and SQLite column types as PostgreSQL spells them; empty when the
// word is no type that needs another name.
QString postgresType(const QString &word, bool sized)
{
    const QString w = word.toUpper();
    if (w == QLatin1String("MONEY") || w == QLatin1String("CURRENCY"))
        return QStringLiteral("NUMERIC(19,4)");
    if (w == QLatin1String("NVARCHAR") || w == QLatin1String("NCHAR")
        || (w == QLatin1String("TEXT") && sized))
        return QStringLiteral("VARCHAR");
    if (w == QLatin1String("MEMO") || w == QLatin1String("LONGTEXT"))
        return QStringLiteral("TEXT");
    if (w == QLatin1String("LONG"))
        return QStringLiteral("INTEGER");
    if (w == QLatin1String("BYTE"))
        return QStringLiteral("SMALLINT");
    if (w == QLatin1String("DOUBLE") || w == QLatin1String("FLOAT"))
        return QStringLiteral("DOUBLE PRECISION");
    if (w == QLatin1String("BIT") || w == QLatin1String("BOOL") || w == QLatin1String("YESNO")
        || w == QLatin1String("LOGICAL"))
        return QStringLiteral("BOOLEAN");
    if (w == QLatin1String("DATETIME"))
        return QStringLiteral("TIMESTAMP");
    if (w == QLatin1String("COUNTER") || w == QLatin1String("AUTOINCREMENT"))
        return QStringLiteral("INTEGER GENERATED BY DEFAULT AS IDENTITY");
    return QString();
}

bool isClauseWord(const Token &t)
{
    static const char *const words[] = {"WHERE", "LIMIT",  "ORDER", "GROUP", "HAVING",
                                        "UNION", "JOIN",   "INNER", "LEFT",  "RIGHT",
                                        "FULL",  "CROSS",  "ON",    "OFFSET", "EXCEPT",
                                        "INTERSECT", "WINDOW", "FETCH", "FOR"};
    for (const char *w : words)
        if (isWord(t, w))
            return true;
    return false;
}

// The PostgreSQL form of a statement, written range by range so that the
// arguments of CCur and Mid are rewritten too.
class PostgresWriter
{
public:
    explicit PostgresWriter(const QString &accessSql) : t(tokenize(accessSql))
    {
        const qsizetype head = nextSolid(t, 0);
        ddl = head >= 0 && (isWord(t[head], "CREATE") || isWord(t[head], "ALTER"));
    }

    QString all() { return range(0, t.size()); }

private:
    QList<Token> t;
    bool ddl = false;
    int subqueries = 0;

    bool isSymbol(qsizetype i, const char *s) const
    {
        return i >= 0 && i < t.size() && t[i].kind == Kind::Symbol && t[i].text == QLatin1String(s);
    }

    // A column's type in CREATE TABLE or ALTER TABLE ... ADD: the word after
    // the column's name.
    bool atTypePosition(qsizetype i) const
    {
        if (!ddl)
            return false;
        const qsizetype name = prevSolid(t, i - 1);
        if (name < 0 || (t[name].kind != Kind::Word && t[name].kind != Kind::Bracket))
            return false;
        const qsizetype before = prevSolid(t, name - 1);
        return before >= 0
               && (isSymbol(before, "(") || isSymbol(before, ",") || isWord(t[before], "ADD")
                   || isWord(t[before], "COLUMN"));
    }

    QStringList args(qsizetype open, qsizetype close)
    {
        QStringList out;
        for (const auto &[from, to] : arguments(t, open, close))
            out << range(from, to).trimmed();
        return out;
    }

    // CCur(x): a number with the four decimals of a currency amount, or NULL
    // for a text that is no number, as the function gives it on a file.
    QString ccur(qsizetype arg, qsizetype argEnd, const QString &written)
    {
        const qsizetype only = nextSolid(t, arg);
        if (only >= 0 && prevSolid(t, argEnd - 1) == only) {
            const Token &a = t[only];
            if (a.kind == Kind::Number)
                return a.text.section('.', 1).size() <= 4
                           ? a.text
                           : QStringLiteral("round(CAST(") + a.text + QStringLiteral(" AS NUMERIC), 4)");
            if (a.kind == Kind::Literal) {
                const auto value = ccurValue(literalText(a));
                if (!value)
                    return QStringLiteral("CAST(NULL AS NUMERIC)");
                if (value->typeId() == QMetaType::LongLong)
                    return QString::number(value->toLongLong());
                return QStringLiteral("CAST(") + QString::number(value->toDouble(), 'f', 4)
                       + QStringLiteral(" AS NUMERIC)");
            }
        }
        const QString text = QStringLiteral("CAST(") + written + QStringLiteral(" AS TEXT)");
        return QStringLiteral("(CASE WHEN ") + text
               + QStringLiteral(" ~ '^\\s*[+-]?([0-9]+([.,][0-9]*)?|[.,][0-9]+)([eE][+-]?[0-9]{1,3})?\\s*$'"
                                " THEN round(CAST(replace(")
               + text + QStringLiteral(", ',', '.') AS NUMERIC), 4) END)");
    }

    QString range(qsizetype from, qsizetype to)
    {
        QString out;
        for (qsizetype i = from; i < to; ++i) {
            const Token &tok = t[i];
            if (rewriteShared(t, i, out))
                continue;
            if (tok.kind == Kind::Word && (isWord(tok, "CCur") || isWord(tok, "Mid"))) {
                const qsizetype open = nextSolid(t, i + 1);
                const qsizetype close = isSymbol(open, "(") ? closingParen(t, open) : -1;
                if (close > 0 && close < to) {
                    QStringList a = args(open, close);
                    if (isWord(tok, "CCur") && a.size() == 1) {
                        out += ccur(open + 1, close, a[0]);
                        i = close;
                        continue;
                    }
                    if (isWord(tok, "Mid") && (a.size() == 2 || a.size() == 3)) {
                        // Mid counts characters from 1, as substr does.
                        a[0] = QStringLiteral("CAST(") + a[0] + QStringLiteral(" AS TEXT)");
                        out += QStringLiteral("substr(") + a.join(QStringLiteral(", "))
                               + QStringLiteral(")");
                        i = close;
                        continue;
                    }
                }
            }
            if (isWord(tok, "IS")) {
                // SQLite's "a IS b" compares NULLs as equal values.
                const qsizetype next = nextSolid(t, i + 1);
                const auto special = [&](qsizetype k) {
                    return k >= 0
                           && (isWord(t[k], "NULL") || isWord(t[k], "TRUE") || isWord(t[k], "FALSE")
                               || isWord(t[k], "DISTINCT") || isWord(t[k], "UNKNOWN"));
                };
                if (next >= 0 && isWord(t[next], "NOT")) {
                    if (!special(nextSolid(t, next + 1))) {
                        out += QStringLiteral("IS DISTINCT FROM");
                        i = next;
                        continue;
                    }
                } else if (next >= 0 && !special(next)) {
                    out += QStringLiteral("IS NOT DISTINCT FROM");
                    continue;
                }
            }
            if (isWord(tok, "GLOB")) {
                const qsizetype pattern = nextSolid(t, i + 1);
                if (pattern >= 0 && pattern < to && t[pattern].kind == Kind::Literal) {
                    out += QStringLiteral("~ ") + singleQuoted(globToRegex(literalText(t[pattern])));
                    i = pattern;
                    continue;
                }
            }
            if (isWord(tok, "FROM")) {
                // A subquery in FROM needs a name of its own on PostgreSQL.
                const qsizetype open = nextSolid(t, i + 1);
                const qsizetype inner = open >= 0 ? nextSolid(t, open + 1) : -1;
                const qsizetype close = isSymbol(open, "(") ? closingParen(t, open) : -1;
                if (close > 0 && close < to && inner >= 0 && isWord(t[inner], "SELECT")) {
                    out += tok.text + range(i + 1, close + 1);
                    const qsizetype after = nextSolid(t, close + 1);
                    const bool named = after >= 0 && after < to
                                       && (t[after].kind == Kind::Bracket
                                           || (t[after].kind == Kind::Word && !isClauseWord(t[after])));
                    if (!named)
                        out += QStringLiteral(" AS subquery_") + QString::number(++subqueries);
                    i = close;
                    continue;
                }
            }
            if (tok.kind == Kind::Word && atTypePosition(i)) {
                const qsizetype next = nextSolid(t, i + 1);
                const QString type = postgresType(tok.text, isSymbol(next, "("));
                if (!type.isEmpty()) {
                    out += type;
                    // NUMERIC(19,4) carries its own size.
                    if (type.startsWith(QLatin1String("NUMERIC(")) && isSymbol(next, "(")) {
                        const qsizetype close = closingParen(t, next);
                        if (close > 0)
                            i = close;
                    }
                    continue;
                }
            }
            if (tok.kind == Kind::Bracket) {
                QString name = tok.text.mid(1, tok.text.endsWith(']') ? tok.text.size() - 2
                                                                      : tok.text.size() - 1);
                name.replace('"', QStringLiteral("\"\""));
                out += QLatin1Char('"') + foldedName(name) + QLatin1Char('"');
                continue;
            }
            if (tok.kind == Kind::Literal && tok.text.startsWith('"') && tok.text.size() >= 2
                && tok.text.endsWith('"')) {
                out += singleQuoted(literalText(tok));
                continue;
            }
            out += tok.text;
        }
        return out;
    }
};

} // namespace

QString accessToSqlite(const QString &accessSql)
{
    QList<Token> t = tokenize(accessSql);
    QString out;
    out.reserve(accessSql.size() + 16);
    for (qsizetype i = 0; i < t.size(); ++i) {
        const Token &tok = t[i];
        if (rewriteShared(t, i, out))
            continue;
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

QString postgresName(const QString &name)
{
    return foldedName(name);
}

QString accessToPostgres(const QString &accessSql)
{
    return PostgresWriter(accessSql).all();
}

} // namespace db
