#pragma once

#include "core/user_message.h"

class QWidget;

namespace qm {

// The seam through which every window shows its message boxes, so tests can
// read and answer them. Boxes raised by the network never block the caller.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void show(QWidget* parent, const UserMessage& message) = 0;
};

} // namespace qm
