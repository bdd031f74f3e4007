#include "controls/tray/property_bag.h"

namespace qm {

QVariant MemoryPropertyBag::read(const QString& name, const QVariant& defaultValue) const {
    return m_values.value(name.toLower(), defaultValue);
}

void MemoryPropertyBag::write(const QString& name, const QVariant& value,
                              const QVariant& defaultValue) {
    if (value == defaultValue)
        m_values.remove(name.toLower());
    else
        m_values.insert(name.toLower(), value);
}

bool MemoryPropertyBag::contains(const QString& name) const {
    return m_values.contains(name.toLower());
}

} // namespace qm
