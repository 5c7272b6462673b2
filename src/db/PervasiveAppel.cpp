// The generic record call: argument checks, the raw engine call, and what each status leads to
// (retries on conflicts and locks, silent statuses, reports).
#include "common/Clock.h"
#include "common/ErrorTrap.h"
#include "common/Host.h"
#include "common/Identity.h"
#include "common/Lifecycle.h"
#include "common/Win1252.h"
#include "db/Pervasive.h"
#include "db/engine/BtrieveEngine.h"
#include "system/Trace.h"

#include <algorithm>
#include <array>

namespace nvx {

namespace {

constexpr int kMaxConflits = 10;
constexpr int kPremierVerrouSignale = 11;
constexpr int kAttenteConflitMs = 500;
constexpr int kAttenteVerrouMs = 1000;
// Waits are cut in slices so that events keep running and a quit is seen quickly.
constexpr int kTrancheAttenteMs = 50;

bool estTransaction(quint16 op)
{
    return op == Pervasive::OpDebutTransaction || op == Pervasive::OpFinTransaction ||
           op == Pervasive::OpAnnulerTransaction || op == Pervasive::OpDebutTransactionConcurrente;
}

// Locks held by another process, and the transaction statuses that clear once it is done.
bool estVerrou(qint16 statut)
{
    switch (statut) {
    case 81:
    case 84:
    case 85:
    case 36:
    case 37:
    case 38:
    case 39:
    case 83:
    case 92:
        return true;
    default:
        return false;
    }
}

// The characters of the code page's 256 bytes.
const std::array<char16_t, 256>& caracteres1252()
{
    static const std::array<char16_t, 256> table = [] {
        QByteArray octets(256, '\0');
        for (int i = 0; i < 256; ++i)
            octets[i] = static_cast<char>(i);
        const QString texte = fromWindows1252(octets);
        std::array<char16_t, 256> t{};
        for (int i = 0; i < 256; ++i)
            t[size_t(i)] = texte[i].unicode();
        return t;
    }();
    return table;
}

} // namespace

void Pervasive::decoderCle(QByteArrayView octets, QString& cle)
{
    // Written over the caller's text when it is not shared: the key of every record call comes
    // back here.
    const std::array<char16_t, 256>& table = caracteres1252();
    cle.resize(octets.size());
    QChar* d = cle.data();
    for (qsizetype i = 0; i < octets.size(); ++i)
        d[i] = QChar(table[static_cast<unsigned char>(octets[i])]);
}

bool Pervasive::arretDemande() const
{
    return lifecycle_.PbBFermetureApplication() || finDemandee_;
}

void Pervasive::terminer()
{
    finDemandee_ = true;
    if (finProgramme)
        finProgramme();
}

void Pervasive::attendre(int ms)
{
    const qint64 debut = clock_.ChronoMilliSec();
    for (;;) {
        host_.pump();
        const qint64 ecoule = clock_.ChronoMilliSec() - debut;
        if (ecoule >= ms || arretDemande())
            return;
        clock_.sleep(int(qMin<qint64>(kTrancheAttenteMs, ms - ecoule)));
    }
}

bool Pervasive::BTrieveTestCle(quint16 operation, const QString& cle, qint16 noCle, qint16 fichier,
                               const QString& appelant)
{
    bool suffisante = true;
    trap(trace_, QStringLiteral("Lib_Data_Pervasive:BTrieveTestCle"), [&] {
        if (estTransaction(operation))
            return;
        catalogue_.InitGeneralData();
        const int requise = catalogue_.entree(fichier).longueurCle(noCle);
        if (cle.size() >= requise)
            return;
        suffisante = false;
        host_.messageBox(Host::Icon::Exclamation, Host::Buttons::Ok, titre(),
                         QStringLiteral("Clé trop courte: Fichier: ") + QString::number(fichier) +
                             QStringLiteral(" NoCle: ") + QString::number(noCle) + QStringLiteral(" Lng: ") +
                             QString::number(requise) + QStringLiteral(" OP: ") + QString::number(operation) +
                             u'\n' + QStringLiteral("Key:") + cle + u'\n' + QStringLiteral(" Sub: ") +
                             appelant,
                         Host::Answer::Ok);
    });
    return suffisante;
}

qint16 Pervasive::BTRieve_Reel(qint16 fichier, quint16 operation, QByteArray& blocPosition, quint32& longueur,
                               QString& cle, qint16 noCle)
{
    trap(trace_, QStringLiteral("Lib_Data_Pervasive:BTRieve_Reel"), [&] {
        Record& r = enregistrement(fichier);
        if (r.bytes().isEmpty()) {
            // No record buffer: the file was never prepared, so it cannot be open.
            StatutBTrieve = 3;
            return;
        }
        if (blocPosition.size() != kTailleBlocPosition)
            blocPosition.resize(kTailleBlocPosition, '\0');
        // The key goes over in the code page, cut to the buffer and padded with zeros; the
        // buffer is the object's own, so that the record calls of an export allocate nothing.
        const qsizetype entree = cle.size();
        const qsizetype copie = qMin<qsizetype>(entree, kLongueurCle);
        char* tampon = tamponCle_.data();
        const QChar* caracteres = cle.constData();
        for (qsizetype i = 0; i < copie; ++i) {
            const char16_t u = caracteres[i].unicode();
            tampon[i] = static_cast<char>(u < 0x80 ? int(u) : windows1252Code(caracteres[i]));
        }
        std::fill(tampon + copie, tampon + kLongueurCle, '\0');
        longueur = qMin<quint32>(longueur, quint32(r.bytes().size()));
        StatutBTrieve = engine_.BTRCALL(operation, blocPosition.data(), r.bytes().data(), &longueur, tampon,
                                        quint8(kLongueurCle), qint8(noCle));
        // The key comes back as long as it went in, or as long as the key itself when that is
        // longer: the engine writes the key found over the start of the buffer.
        const int longueurCle = catalogue_.entree(fichier).longueurCle(noCle);
        const qsizetype retour = qMin<qsizetype>(kLongueurCle, qMax<qsizetype>(entree, longueurCle));
        decoderCle(QByteArrayView(tampon, retour), cle);
    });
    return StatutBTrieve;
}

qint16 Pervasive::BTRieve(qint16 base, quint16 operation, QString& cle, qint16 noCle, qint16 fichier,
                          qint16 station, const QString& appelant, bool option)
{
    // The tables serve the database whose files are open; the option changes nothing here.
    Q_UNUSED(base);
    Q_UNUSED(option);
    qint16 statut = 0;
    const bool termine = trap(trace_, QStringLiteral("Lib_Data_Pervasive:BTRieve"), [&] {
        statut = appelGenerique(operation, cle, noCle, fichier, station, appelant);
    });
    if (!termine) {
        // A failure inside the call is reported by the trap; the caller sees "nothing found".
        statut = operation == OpEgal ? 4 : 9;
        StatutBTrieve = statut;
    }
    return statut;
}

qint16 Pervasive::appelGenerique(quint16 operation, QString& cle, qint16 noCle, qint16 fichier,
                                 qint16 station, const QString& appelant)
{
    const QString origine = QStringLiteral("Lib_Data_Pervasive:BTRieve");
    if (operation == OpInferieur || operation == OpInferieurOuEgal)
        cle.replace(QChar(0xFF), u'z');
    if (station < 1)
        station = 1;
    // An empty key buffer is handed over as 100 blanks (below), which is long enough for
    // every key: only a key the caller gave can be too short.
    if (!cle.isEmpty())
        BTrieveTestCle(operation, cle, noCle, fichier, appelant);

    const qint16 absent = operation == OpEgal ? 4 : 9;
    if (station > kMaxStations) {
        host_.messageBox(Host::Icon::Exclamation, Host::Buttons::Ok, titre(),
                         QStringLiteral("N° station hors limite: ") + QString::number(station) +
                             QStringLiteral("\n\n") + QStringLiteral("Sub: ") + appelant,
                         Host::Answer::Ok);
        StatutBTrieve = absent;
        return absent;
    }
    if (fichier < 0 || fichier >= Catalogue::kNbFichiers || !etat(station, fichier).FichierOuvert) {
        StatutBTrieve = absent;
        return absent;
    }
    if (cle.isEmpty())
        cle = QString(100, u' ');

    int conflits = 0;
    int verrous = 0;
    for (;;) {
        EtatFichier& e = etatModifiable(station, fichier);
        quint32 longueur = quint32(enregistrement(fichier).bytes().size());
        BTRieve_Reel(fichier, operation, e.BlocPosition, longueur, cle, noCle);
        longueurs_[size_t(fichier)] = longueur;
        const qint16 statut = StatutBTrieve;

        if (statut == 0) {
            if (operation == OpDebutTransaction || operation == OpDebutTransactionConcurrente)
                EnTransaction = true;
            else if (operation == OpFinTransaction || operation == OpAnnulerTransaction)
                EnTransaction = false;
            return 0;
        }

        if (statut == 80) {
            // The record changed since it was read. A conflict that outlives the retries is a
            // failure the caller must see, not a success.
            if (++conflits > kMaxConflits) {
                rapport(statut, fichier, station, cle, origine, false);
                return statut;
            }
            attendre(kAttenteConflitMs);
            if (operation == OpModifier || operation == OpSupprimer) {
                // Read the record again to take its new version; the caller's changes to the
                // buffer are what the update must still write.
                const QByteArray aEcrire = enregistrement(fichier).bytes();
                QString cleRelue = cle;
                quint32 l = quint32(aEcrire.size());
                BTRieve_Reel(fichier, OpEgal, e.BlocPosition, l, cleRelue, noCle);
                if (operation == OpModifier)
                    enregistrement(fichier).bytes() = aEcrire;
            }
            continue;
        }

        if (estVerrou(statut)) {
            // Another process holds the record or the file: wait for it for as long as it
            // takes, but never past the moment the program is asked to close.
            ++verrous;
            if (verrous >= kPremierVerrouSignale)
                ErreurBTrieve(statut, fichier, station, cle, origine);
            if (arretDemande())
                return statut;
            attendre(kAttenteVerrouMs);
            if (arretDemande())
                return statut;
            continue;
        }

        if (statut == 7) {
            const bool suivantOuPrecedent = operation == OpSuivant || operation == OpPrecedent;
            if ((operation == OpModifier && fichier == 35) || (suivantOuPrecedent && fichier == 34))
                return statut;
            if (suivantOuPrecedent) {
                quint32 l = quint32(enregistrement(fichier).bytes().size());
                const qint16 relu = BTRieve_Reel(fichier, OpEgal, e.BlocPosition, l, cle, noCle);
                longueurs_[size_t(fichier)] = l;
                if (relu == 0)
                    return 0;
                ErreurBTrieve(relu, fichier, station, cle, origine);
                return relu;
            }
            ErreurBTrieve(statut, fichier, station, cle, origine);
            return statut;
        }

        const bool ecriture = operation == OpInserer || operation == OpModifier;
        const bool silencieux = ecriture ? statut == 5 : (statut == 4 || statut == 5 || statut == 9);
        if (!silencieux)
            ErreurBTrieve(statut, fichier, station, cle, origine);
        return statut;
    }
}

} // namespace nvx
