#include "link/SenderFilter.h"

#include "config/SettingsValidation.h"

namespace nvx {

namespace {

// An IPv4 address or network; a bare address is a network of one.
bool parseEntry(const QString& entry, QPair<QHostAddress, int>& network)
{
    if (!expediteurValide(entry))
        return false;
    network = entry.contains(u'/') ? QHostAddress::parseSubnet(entry) : qMakePair(QHostAddress(entry), 32);
    return !network.first.isNull() && network.first.protocol() == QAbstractSocket::IPv4Protocol;
}

} // namespace

QStringList SenderFilter::entries(const QString& liste)
{
    QStringList result;
    for (const QString& part : liste.split(u';')) {
        if (!part.trimmed().isEmpty())
            result << part.trimmed();
    }
    return result;
}

SenderFilter::SenderFilter(const QString& liste)
{
    const QStringList all = entries(liste);
    everyone_ = all.isEmpty();
    for (const QString& entry : all) {
        QPair<QHostAddress, int> network;
        if (parseEntry(entry, network))
            networks_ << network;
        else
            invalid_ << entry;
    }
}

bool SenderFilter::allows(const QString& address) const
{
    if (everyone_)
        return true;
    const QHostAddress sender(address);
    if (sender.isNull())
        return false;
    for (const auto& network : networks_) {
        if (sender.isInSubnet(network))
            return true;
    }
    return false;
}

} // namespace nvx
