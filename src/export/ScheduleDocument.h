#pragma once

#include "export/ItemValues.h"

#include <QByteArray>
#include <QString>

namespace nvx {

class Record;

// The text of one hour's schedule file, built line by line: one value per line, each line
// ended by CR LF, no indentation, UTF-8 once written.
class ScheduleDocument {
public:
    struct Entete {
        QString schedulerVersion;
        QString radioId;
        QString radioLib;
        QString stationId;
        QString stationLib;
        QString userId;
        QString userLib;
        QString date;  // schedule date, YYYYMMDD as received
        QString heure; // two digits
        QString buildDate;
        QString buildTiming;
        QString pubDate;
        QString pubTiming;
    };

    // The declaration and every line up to the opening of the rows.
    void entete(const Entete& e);
    // One item: the schedule row's own fields as stored, and the values worked out for it.
    void item(const Record& ligne, const ItemValues& v);
    // Closes the rows and the document.
    void fin();

    QByteArray utf8() const { return texte_.toUtf8(); }
    const QString& texte() const { return texte_; }

private:
    void ligne(QStringView balise);
    // <balise>valeur</balise>, the value already escaped.
    void element(QStringView balise, const QString& valeur);
    void nombre(QStringView balise, qint64 valeur);

    QString texte_;
};

} // namespace nvx
