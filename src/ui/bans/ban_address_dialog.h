#pragma once

#include "core/bans/ipv6_address.h"
#include "ui/app_context.h"

#include <QWidget>

#include <array>

class QLineEdit;

namespace qm {

class VistaButton;

// Four boxes, one per octet, for an address to ban: added to the ban list
// (n = -1) or put in place of row n (IPv4 rows first, then IPv6). A colon
// typed in any box, a hex letter in the first, or an IPv6 address pasted into
// any turns the first box into one long box for the IPv6 address (with what
// was typed so far); emptying it brings the four back. Closes after apply or cancel.
class BanAddressDialog : public QWidget {
    Q_OBJECT
public:
    BanAddressDialog(AppContext& ctx, int n, QWidget* parent = nullptr);

    // "Приминить" unless the opener says otherwise.
    void setApplyCaption(const QString& caption);

    // Box k, 1 to 4.
    QLineEdit* octetBox(int k) const { return m_octetBoxes[static_cast<size_t>(k - 1)]; }
    VistaButton* applyButton() const { return m_apply; }
    VistaButton* cancelButton() const { return m_cancel; }

public slots:
    void apply();

signals:
    // The address as typed, stored at the end of the table or at entry row.
    void rowAdded(const QString& text);
    void rowChanged(int row, const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int boxNumber(const QObject* object) const; // 1 to 4, 0 for none
    void checkOctet(int k);
    void setIpv6Mode(bool on);
    bool pasteIpv6();
    // False, with the user told, when a box is empty.
    bool readOctets(IpAddress* address, QString* typed);
    void focusAfter(int k);
    void tell(const UserMessage& message);

    AppContext& m_ctx;
    int m_n;
    bool m_ipv6Mode = false;
    std::array<QLineEdit*, 4> m_octetBoxes;
    VistaButton* m_cancel;
    VistaButton* m_apply;
};

} // namespace qm
