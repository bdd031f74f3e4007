#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

#include <optional>

namespace qm {

// One request line from a control client and one reply line back, each a
// JSON object ended by a newline.
struct ControlRequest {
    QString command;
    QString argument; // empty for commands without one
};

struct ControlReply {
    enum Code { Done = 0, Declined = 1 };
    int code = Done;
    QString message; // what the operator is told; may be empty when data says it all
    QJsonValue data; // the command's result
};

// A longer request is garbage: the longest real one is well under 100 bytes.
constexpr int MaxControlRequestBytes = 1024;

enum class AddressUse { None, Required };

// The commands served, and whether each takes an address.
std::optional<AddressUse> controlCommandArgument(const QString& command);
// Four dot-separated decimal octets and nothing else.
std::optional<qint32> parseControlAddress(const QString& text);

QByteArray encodeControlRequest(const ControlRequest& request);
// Nothing when line is not a request: not JSON, unknown keys' types, no command.
std::optional<ControlRequest> decodeControlRequest(const QByteArray& line);
QByteArray encodeControlReply(const ControlReply& reply);
std::optional<ControlReply> decodeControlReply(const QByteArray& line);

} // namespace qm
