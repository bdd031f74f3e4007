#include "service/control/control_protocol.h"

#include "core/bans/ip_address.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace qm {

namespace {

QByteArray line(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<QJsonObject> objectOf(const QByteArray& line) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line.trimmed(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

} // namespace

std::optional<AddressUse> controlCommandArgument(const QString& command) {
    static const QStringList plain{QStringLiteral("status"), QStringLiteral("online"),
                                   QStringLiteral("bans"), QStringLiteral("reload")};
    static const QStringList withAddress{QStringLiteral("disconnect"), QStringLiteral("ban"),
                                         QStringLiteral("unban")};
    if (plain.contains(command))
        return AddressUse::None;
    if (withAddress.contains(command))
        return AddressUse::Required;
    return std::nullopt;
}

std::optional<qint32> parseControlAddress(const QString& text) {
    static const QRegularExpression dotted(
        QStringLiteral("^([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})$"));
    const QRegularExpressionMatch match = dotted.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    for (int i = 1; i <= 4; ++i)
        if (match.capturedView(i).toInt() > 255)
            return std::nullopt;
    return ipToNumber(text);
}

QByteArray encodeControlRequest(const ControlRequest& request) {
    QJsonObject object{{QStringLiteral("command"), request.command}};
    if (!request.argument.isEmpty())
        object.insert(QStringLiteral("argument"), request.argument);
    return line(object);
}

std::optional<ControlRequest> decodeControlRequest(const QByteArray& line) {
    const std::optional<QJsonObject> object = objectOf(line);
    if (!object)
        return std::nullopt;
    const QJsonValue command = object->value(QStringLiteral("command"));
    const QJsonValue argument = object->value(QStringLiteral("argument"));
    if (!command.isString() || !(argument.isString() || argument.isUndefined()))
        return std::nullopt;
    return ControlRequest{command.toString(), argument.toString()};
}

QByteArray encodeControlReply(const ControlReply& reply) {
    return line(QJsonObject{{QStringLiteral("code"), reply.code},
                            {QStringLiteral("message"), reply.message},
                            {QStringLiteral("data"), reply.data}});
}

std::optional<ControlReply> decodeControlReply(const QByteArray& line) {
    const std::optional<QJsonObject> object = objectOf(line);
    if (!object || !object->value(QStringLiteral("code")).isDouble())
        return std::nullopt;
    return ControlReply{object->value(QStringLiteral("code")).toInt(),
                        object->value(QStringLiteral("message")).toString(),
                        object->value(QStringLiteral("data"))};
}

} // namespace qm
