#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "mail/MailIndex.h"
#include "mail/SearchTokens.h"

#include <QDate>
#include <QRegularExpression>
#include <QTimeZone>

namespace stowline::mail {

namespace {

struct Term {
    QString field; // empty for a plain word
    QString value;
    bool quoted = false;
    bool negated = false;
};

// Splits at white space outside quotes; field:"a phrase" stays one term. False on an open quote.
bool splitTerms(const QString& text, QList<Term>* terms) {
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i].isSpace()) {
            ++i;
            continue;
        }
        Term term;
        if (text[i] == u'-' && i + 1 < text.size() && !text[i + 1].isSpace()) {
            term.negated = true;
            ++i;
        }
        QString current;
        while (i < text.size() && !text[i].isSpace()) {
            if (text[i] == u'"') {
                const qsizetype close = text.indexOf(u'"', i + 1);
                if (close < 0)
                    return false;
                if (term.field.isEmpty() && !current.isEmpty() && current.endsWith(u':')) {
                    term.field = current.chopped(1).toLower();
                    current.clear();
                }
                current += text.mid(i + 1, close - i - 1);
                term.quoted = true;
                i = close + 1;
                continue;
            }
            current += text[i++];
        }
        const qsizetype colon = current.indexOf(u':');
        if (!term.quoted && colon > 0) {
            term.field = current.left(colon).toLower();
            current = current.mid(colon + 1);
        }
        term.value = current;
        terms->append(term);
    }
    return true;
}

// A phrase for the full-text engine, its words folded as the indexed ones are (no quote survives);
// a trailing '*' asks for a prefix. Empty when the value holds no word.
QString phrase(QString value, bool quoted) {
    const bool prefix = !quoted && value.endsWith(u'*');
    if (prefix)
        value.chop(1);
    const QString tokens = SearchTokens(value);
    if (tokens.isEmpty())
        return {};
    return u'"' + tokens + u'"' + (prefix ? QStringLiteral("*") : QString());
}

// YYYY, YYYY-MM or YYYY-MM-DD: the first moment of that year, month or day, local time.
std::optional<qint64> dateStart(const QString& value) {
    static const QRegularExpression form(QStringLiteral("^(\\d{4})(?:[-/](\\d{1,2})(?:[-/](\\d{1,2}))?)?$"));
    const QRegularExpressionMatch match = form.match(value);
    if (!match.hasMatch())
        return std::nullopt;
    const QDate date(match.captured(1).toInt(), match.captured(2).isEmpty() ? 1 : match.captured(2).toInt(),
                     match.captured(3).isEmpty() ? 1 : match.captured(3).toInt());
    if (!date.isValid())
        return std::nullopt;
    return date.startOfDay().toSecsSinceEpoch();
}

const QHash<QString, QString>& columns() {
    static const QHash<QString, QString> names{{QStringLiteral("from"), QStringLiteral("sender")},
                                               {QStringLiteral("to"), QStringLiteral("recipients")},
                                               {QStringLiteral("subject"), QStringLiteral("subject")},
                                               {QStringLiteral("attachment"), QStringLiteral("attachments")}};
    return names;
}

} // namespace

std::optional<MailQuery> ParseMailQuery(const QString& text, QString* error) {
    auto fail = [&](const QString& why) -> std::optional<MailQuery> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    QList<Term> terms;
    if (!splitTerms(text, &terms))
        return fail(Str(txtQueryOpenQuote));
    MailQuery query;
    QStringList wanted, unwanted;
    for (const Term& term : terms) {
        if (term.field == QLatin1String("before") || term.field == QLatin1String("after")) {
            const std::optional<qint64> start = dateStart(term.value);
            if (!start || term.negated)
                return fail(Str(txtQueryBadDate) + term.field + u':' + term.value);
            (term.field == QLatin1String("before") ? query.before : query.after) = start;
        } else if (term.field == QLatin1String("folder") || term.field == QLatin1String("identity")) {
            if (term.value.isEmpty() || term.negated)
                return fail(Str(txtQueryBadTerm) + term.field + u':');
            (term.field == QLatin1String("folder") ? query.folders : query.identities) << term.value;
        } else if (!term.field.isEmpty() && !columns().contains(term.field)) {
            return fail(Str(txtQueryBadTerm) + term.field + u':');
        } else if (QString expression = phrase(term.value, term.quoted); !expression.isEmpty()) {
            if (!term.field.isEmpty())
                expression = columns().value(term.field) + QStringLiteral(" : ") + expression;
            (term.negated ? unwanted : wanted) << expression;
            if (!term.negated)
                query.words << QString(term.value).remove(u'*');
        }
    }
    if (wanted.isEmpty() && !unwanted.isEmpty())
        return fail(Str(txtQueryOnlyNegated));
    if (wanted.isEmpty() && !query.before && !query.after && query.folders.isEmpty() &&
        query.identities.isEmpty())
        return fail(Str(txtQueryEmpty));
    query.match = wanted.join(QStringLiteral(" AND "));
    for (const QString& expression : unwanted)
        query.match += QStringLiteral(" NOT ") + expression;
    return query;
}

} // namespace stowline::mail
