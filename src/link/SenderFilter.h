#pragma once

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace nvx {

// The senders a reception endpoint takes requests from: addresses and networks separated by
// ";" ("192.168.1.0/24;10.0.0.5"). An empty list lets everyone in. An entry that is neither is
// never taken for "everyone": a list whose entries are all wrong lets nobody in.
class SenderFilter {
public:
    SenderFilter() = default;
    explicit SenderFilter(const QString& liste);

    bool allows(const QString& address) const;
    bool allowsEveryone() const { return everyone_; }
    // The entries that are neither an IPv4 address nor a network, as written.
    const QStringList& invalidEntries() const { return invalid_; }

    static QStringList entries(const QString& liste);

private:
    bool everyone_ = true;
    QList<QPair<QHostAddress, int>> networks_;
    QStringList invalid_;
};

} // namespace nvx
