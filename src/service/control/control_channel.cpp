#include "service/control/control_channel.h"

#include "core/runtime_folder.h"

#include <QDir>

#include <utility>

namespace qm {

ControlChannel::ControlChannel(RelayController& controller, BanList& bans,
                               std::function<void()> reload, QObject* parent)
    : QObject(parent), m_totals(controller),
      m_commands(controller, bans, m_totals, std::move(reload)), m_server(m_commands) {}

bool ControlChannel::open(const QString& settingsFolder, QString* error) {
    const QString folder = prepareRuntimeFolder(error);
    if (folder.isEmpty())
        return false;
    return m_server.listen(QDir(folder).filePath(controlSocketName(settingsFolder)), error);
}

} // namespace qm
