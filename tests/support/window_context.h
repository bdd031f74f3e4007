#pragma once

#include "core/program_folder.h"
#include "support/fake_clock.h"
#include "support/file_helpers.h"
#include "support/recording_message_boxes.h"
#include "ui/app_context.h"

#include <QTemporaryDir>

namespace qm::test {

// What a window is built with in a test: a temporary program folder, a ban
// table, a clock the test sets and message boxes that are recorded, not shown.
// There is no relay controller unless the test sets ctx.controller.
struct WindowContext {
    WindowContext() : ctx{dir.path(), &bans, &clock, &messages, nullptr} {}

    QString banFile() const { return banFilePath(dir.path()); }

    // Points the program folder at a plain file, where no ban file can be saved.
    bool makeFolderUnwritable() {
        ctx.folder = dir.filePath(QStringLiteral("plain-file"));
        return writeBytes(ctx.folder, "x");
    }

    QTemporaryDir dir;
    BanTable bans;
    FakeClock clock;
    RecordingMessageBoxes messages;
    AppContext ctx;
};

} // namespace qm::test
