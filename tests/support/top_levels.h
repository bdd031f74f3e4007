#pragma once

#include <QApplication>
#include <QList>
#include <QWidget>

namespace qm::test {

// The visible top-level windows of type T, in the application's order.
template <typename T> QList<T*> visibleTopLevels() {
    QList<T*> found;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<T*>(widget); window && window->isVisible())
            found << window;
    return found;
}

} // namespace qm::test
