#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

namespace qm {

// The stored properties of a control as a window keeps them. Names are
// compared without regard to case; a value equal to its default is not kept.
class PropertyBag {
public:
    virtual ~PropertyBag() = default;
    virtual QVariant read(const QString& name, const QVariant& defaultValue) const = 0;
    virtual void write(const QString& name, const QVariant& value,
                       const QVariant& defaultValue) = 0;
};

class MemoryPropertyBag final : public PropertyBag {
public:
    QVariant read(const QString& name, const QVariant& defaultValue) const override;
    void write(const QString& name, const QVariant& value, const QVariant& defaultValue) override;

    bool contains(const QString& name) const;
    qsizetype size() const { return m_values.size(); }

private:
    QMap<QString, QVariant> m_values; // keyed by the lower-case name
};

} // namespace qm
