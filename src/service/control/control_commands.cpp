#include "service/control/control_commands.h"

#include "core/bans/ip_address.h"
#include "service/ban_list.h"
#include "service/port_rules.h"
#include "service/relay_controller.h"
#include "service/relay_totals.h"

#include <QJsonArray>
#include <QJsonObject>

#include <utility>

namespace qm {

namespace {

QString describe(const Upstream& server) {
    return server.host.isEmpty() ? QString()
                                 : QStringLiteral("%1:%2").arg(server.host).arg(server.port);
}

// JSON numbers are doubles: exact up to 2^53 bytes, far beyond any counter.
QJsonValue count(quint64 value) {
    return QJsonValue(static_cast<double>(value));
}

ControlReply declined(const QString& message) {
    return {ControlReply::Declined, message, {}};
}

ControlReply done(const QString& message) {
    return {ControlReply::Done, message, QJsonObject{{QStringLiteral("message"), message}}};
}

} // namespace

ControlCommands::ControlCommands(RelayController& controller, BanList& bans,
                                 const RelayTotals& totals, std::function<void()> reload)
    : m_controller(controller), m_bans(bans), m_totals(totals), m_reload(std::move(reload)) {}

ControlReply ControlCommands::run(const ControlRequest& request) {
    const std::optional<AddressUse> use = controlCommandArgument(request.command);
    if (!use)
        return declined(QStringLiteral("unknown command '%1'").arg(request.command));
    if (*use == AddressUse::None) {
        if (!request.argument.isEmpty())
            return declined(QStringLiteral("'%1' takes no argument").arg(request.command));
        if (request.command == QLatin1String("status"))
            return status();
        if (request.command == QLatin1String("online"))
            return online();
        if (request.command == QLatin1String("bans"))
            return bans();
        m_reload();
        return done(QStringLiteral("re-reading config.ini and ban.dat"));
    }
    const std::optional<qint32> number = parseControlAddress(request.argument);
    if (!number)
        return declined(QStringLiteral("'%1' is not a dotted IPv4 address").arg(request.argument));
    if (request.command == QLatin1String("disconnect"))
        return disconnect(request.argument);
    if (request.command == QLatin1String("ban"))
        return ban(*number, request.argument);
    return unban(*number, request.argument);
}

ControlReply ControlCommands::status() const {
    const AppliedSettings& applied = m_controller.appliedSettings();
    const Upstream servers[] = {{applied.serverHost, socketPort(applied.serverPort)},
                                {applied.server2Host, socketPort(applied.server2Port)}};
    const bool reachable[] = {m_controller.serverReachable(), m_controller.server2Reachable()};
    QJsonArray serverRows;
    for (int i = 0; i < 2; ++i)
        serverRows.append(QJsonObject{{QStringLiteral("server"), i + 1},
                                      {QStringLiteral("address"), describe(servers[i])},
                                      {QStringLiteral("reachable"), reachable[i]}});
    QJsonObject refused;
    for (auto it = m_totals.refusedByReason().cbegin(); it != m_totals.refusedByReason().cend();
         ++it)
        refused.insert(it.key(), count(it.value()));
    // Bytes since start: those of ended pairs and those the live pairs carried so far.
    quint64 fromClients = m_totals.endedBytesFromClients();
    quint64 fromServers = m_totals.endedBytesFromServers();
    const std::vector<PairSnapshot> live = m_controller.livePairs();
    for (const PairSnapshot& pair : live) {
        fromClients += pair.bytesFromClient;
        fromServers += pair.bytesFromServer;
    }
    const DatagramCounts datagrams = m_controller.datagramCounts();
    return {
        ControlReply::Done,
        {},
        QJsonObject{
            {QStringLiteral("listening"), m_controller.listening()},
            {QStringLiteral("port"), m_controller.listening() ? m_controller.listeningPort() : 0},
            {QStringLiteral("online"), m_controller.onlineN()},
            {QStringLiteral("servers"), serverRows},
            // In a slot but not live yet: their upstream connection still stands out.
            {QStringLiteral("pairs_in_progress"),
             m_controller.pairsInProgress() - static_cast<int>(live.size())},
            {QStringLiteral("accepted"), count(m_totals.accepted())},
            {QStringLiteral("refused"), refused},
            {QStringLiteral("bytes_from_clients"), count(fromClients)},
            {QStringLiteral("bytes_from_servers"), count(fromServers)},
            {QStringLiteral("datagrams_to_server"), count(datagrams.toServer)},
            {QStringLiteral("datagrams_to_client"), count(datagrams.toClient)},
            {QStringLiteral("datagrams_dropped"),
             QJsonObject{{QStringLiteral("banned"), count(datagrams.droppedBanned)},
                         {QStringLiteral("stranger"), count(datagrams.droppedStranger)},
                         {QStringLiteral("undeliverable"), count(datagrams.droppedUndeliverable)}}},
        }};
}

ControlReply ControlCommands::online() const {
    QJsonArray rows;
    for (const PairSnapshot& pair : m_controller.livePairs())
        rows.append(QJsonObject{
            {QStringLiteral("slot"), pair.slot},
            {QStringLiteral("address"), pair.clientAddress},
            {QStringLiteral("since"), pair.acceptedAt.toString(Qt::ISODate)},
            {QStringLiteral("from_client"), count(pair.bytesFromClient)},
            {QStringLiteral("from_server"), count(pair.bytesFromServer)},
            {QStringLiteral("server"), describe(m_totals.serverOf(pair.slot))},
        });
    return {ControlReply::Done, {}, rows};
}

ControlReply ControlCommands::bans() const {
    QJsonArray addresses;
    const BanTable& table = m_bans.table();
    for (int k = 0; k < table.count(); ++k)
        addresses.append(numberToIp(table.at(k)));
    return {ControlReply::Done, {}, addresses};
}

ControlReply ControlCommands::disconnect(const QString& address) {
    if (!m_controller.disconnectClient(address))
        return declined(QStringLiteral("no live pair of %1").arg(address));
    return done(QStringLiteral("%1 disconnected").arg(address));
}

ControlReply ControlCommands::ban(qint32 number, const QString& address) {
    const BanList::Outcome outcome = m_bans.add(number);
    if (outcome != BanList::Outcome::Saved)
        return declined(m_bans.messageFor(outcome).text);
    return done(QStringLiteral("%1 banned").arg(address));
}

ControlReply ControlCommands::unban(qint32 number, const QString& address) {
    const BanList::Outcome outcome = m_bans.removeNumber(number);
    if (outcome == BanList::Outcome::NotBanned)
        return declined(QStringLiteral("%1 is not banned").arg(address));
    if (outcome != BanList::Outcome::Saved)
        return declined(m_bans.messageFor(outcome).text);
    return done(QStringLiteral("%1 unbanned").arg(address));
}

} // namespace qm
