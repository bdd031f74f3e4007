#pragma once

#include "core/bans/ban_file.h"
#include "core/program_folder.h"
#include "service/ban_list.h"
#include "support/fake_clock.h"
#include "support/file_helpers.h"
#include "support/recording_message_boxes.h"
#include "ui/app_context.h"

#include <QDir>
#include <QTemporaryDir>

namespace qm::test {

// What a window is built with in a test: a temporary program folder, the ban
// list of its ban file, a clock the test sets and message boxes that are
// recorded, not shown. There is no relay controller unless the test sets
// ctx.controller.
struct WindowContext {
    WindowContext() : bans(banFilePath(dir.path())), ctx{&bans, &clock, &messages, nullptr} {}

    QString banFile() const { return banFilePath(dir.path()); }

    // The ban file and the list hold elements (the spare included).
    bool storeBans(std::vector<qint32> elements) {
        BanTable table;
        table.setElements(std::move(elements));
        if (!saveBanTable(table, banFile()))
            return false;
        bans.reload();
        return true;
    }

    // A folder in the ban file's place: no save can replace it.
    bool makeBanFileUnwritable() {
        return (!QFile::exists(banFile()) || QFile::remove(banFile())) &&
               QDir(dir.path()).mkpath(QStringLiteral("ban.dat/x"));
    }

    QTemporaryDir dir;
    BanList bans;
    FakeClock clock;
    RecordingMessageBoxes messages;
    AppContext ctx;
};

} // namespace qm::test
