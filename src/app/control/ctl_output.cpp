#include "app/control/ctl_output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace qm {

namespace {

using Rows = QList<QStringList>;

// Each column as wide as its widest cell, two blanks between columns.
QString columns(const Rows& rows) {
    QList<qsizetype> widths;
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (widths.size() <= i)
                widths.append(0);
            widths[i] = std::max(widths[i], row.at(i).size());
        }
    QString text;
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row.at(i).leftJustified(widths[i] + 2) : row.at(i);
        text += line + QLatin1Char('\n');
    }
    return text;
}

QString number(const QJsonValue& value) {
    return QString::number(static_cast<quint64>(value.toDouble()));
}

QString status(const QJsonObject& s) {
    Rows rows;
    rows.append({QStringLiteral("listening"),
                 s.value(QLatin1String("listening")).toBool()
                     ? QStringLiteral("yes, port %1").arg(number(s.value(QLatin1String("port"))))
                     : QStringLiteral("no")});
    rows.append({QStringLiteral("online"), number(s.value(QLatin1String("online")))});
    for (const QJsonValue& server : s.value(QLatin1String("servers")).toArray()) {
        const QJsonObject row = server.toObject();
        const QString address = row.value(QLatin1String("address")).toString();
        // Before the first start no server is set.
        rows.append({QStringLiteral("server %1").arg(number(row.value(QLatin1String("server")))),
                     address.isEmpty() ? QStringLiteral("not set before the first start")
                     : row.value(QLatin1String("reachable")).toBool()
                         ? address + QStringLiteral(" answers")
                         : address + QStringLiteral(" does not answer")});
    }
    rows.append({QStringLiteral("pairs in progress"),
                 QStringLiteral("%1 (connecting upstream)")
                     .arg(number(s.value(QLatin1String("pairs_in_progress"))))});
    rows.append({QStringLiteral("clients accepted"), number(s.value(QLatin1String("accepted")))});
    const QJsonObject refused = s.value(QLatin1String("refused")).toObject();
    quint64 refusedTotal = 0;
    QStringList reasons;
    for (auto it = refused.begin(); it != refused.end(); ++it) {
        refusedTotal += static_cast<quint64>(it.value().toDouble());
        reasons.append(QStringLiteral("%1 %2").arg(it.key(), number(it.value())));
    }
    rows.append(
        {QStringLiteral("clients refused"),
         reasons.isEmpty()
             ? QStringLiteral("0")
             : QStringLiteral("%1 (%2)").arg(refusedTotal).arg(reasons.join(QLatin1String(", ")))});
    rows.append(
        {QStringLiteral("bytes"), QStringLiteral("%1 from clients, %2 from servers")
                                      .arg(number(s.value(QLatin1String("bytes_from_clients"))),
                                           number(s.value(QLatin1String("bytes_from_servers"))))});
    const QJsonObject dropped = s.value(QLatin1String("datagrams_dropped")).toObject();
    rows.append({QStringLiteral("datagrams"),
                 QStringLiteral("%1 to server, %2 to client, dropped: %3 banned, %4 stranger, "
                                "%5 undeliverable")
                     .arg(number(s.value(QLatin1String("datagrams_to_server"))),
                          number(s.value(QLatin1String("datagrams_to_client"))),
                          number(dropped.value(QLatin1String("banned"))),
                          number(dropped.value(QLatin1String("stranger"))),
                          number(dropped.value(QLatin1String("undeliverable"))))});
    return columns(rows);
}

QString online(const QJsonArray& pairs) {
    Rows rows{{QStringLiteral("SLOT"), QStringLiteral("ADDRESS"), QStringLiteral("SINCE"),
               QStringLiteral("FROM CLIENT"), QStringLiteral("FROM SERVER"),
               QStringLiteral("SERVER")}};
    for (const QJsonValue& pair : pairs) {
        const QJsonObject row = pair.toObject();
        rows.append({number(row.value(QLatin1String("slot"))),
                     row.value(QLatin1String("address")).toString(),
                     row.value(QLatin1String("since")).toString(),
                     number(row.value(QLatin1String("from_client"))),
                     number(row.value(QLatin1String("from_server"))),
                     row.value(QLatin1String("server")).toString()});
    }
    return columns(rows);
}

} // namespace

QString formatReplyText(const QString& command, const ControlReply& reply) {
    if (command == QLatin1String("status"))
        return status(reply.data.toObject());
    if (command == QLatin1String("online"))
        return online(reply.data.toArray());
    if (command == QLatin1String("bans")) {
        QString text;
        for (const QJsonValue& address : reply.data.toArray())
            text += address.toString() + QLatin1Char('\n');
        return text;
    }
    return reply.message.isEmpty() ? QString() : reply.message + QLatin1Char('\n');
}

QString formatReplyJson(const ControlReply& reply) {
    const QJsonDocument document = reply.data.isArray() ? QJsonDocument(reply.data.toArray())
                                                        : QJsonDocument(reply.data.toObject());
    return QString::fromUtf8(document.toJson(QJsonDocument::Indented));
}

} // namespace qm
