#include "platform/ResponseAnalysis.h"

#include "common/Clock.h"
#include "common/DateHelpers.h"
#include "common/ErrorTrap.h"
#include "common/NativePath.h"
#include "common/PathText.h"
#include "platform/PlatformRequests.h"
#include "platform/PlatformValues.h"
#include "platform/TokenStore.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pugixml.hpp>
#include <unistd.h>
#include <utility>

namespace nvx {

namespace {

const QString kOrigine = QStringLiteral("Frm_MainBis:UDPDataArrival_99_Analyse_Reponse");

// The element names looked for are plain ASCII, so a name in any case is compared byte by byte
// without making a string of it first.
char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool named(const pugi::xml_node& node, const char* name)
{
    const char* n = node.name();
    for (; *n && *name; ++n, ++name)
        if (asciiLower(*n) != asciiLower(*name))
            return false;
    return *n == *name;
}

// The next node of the document after n in document order, staying below root.
pugi::xml_node nextBelow(const pugi::xml_node& n, const pugi::xml_node& root)
{
    if (pugi::xml_node c = n.first_child())
        return c;
    for (pugi::xml_node p = n; p && p != root; p = p.parent())
        if (pugi::xml_node s = p.next_sibling())
            return s;
    return {};
}

// The text of a node with everything below it, without its outer white space, as a DOM's text
// property gives it.
QString textOf(const pugi::xml_node& node)
{
    QByteArray text;
    for (pugi::xml_node c = node.first_child(); c; c = nextBelow(c, node))
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata)
            text += c.value();
    return QString::fromUtf8(text).trimmed();
}

// Every element of that exact name, the root included, in document order.
std::vector<pugi::xml_node> elementsNamed(const pugi::xml_document& doc, const char* name)
{
    std::vector<pugi::xml_node> found;
    for (pugi::xml_node c = doc.first_child(); c; c = nextBelow(c, doc))
        if (c.type() == pugi::node_element && std::strcmp(c.name(), name) == 0)
            found.push_back(c);
    return found;
}

const QString& traceLabel(const QString& kind)
{
    static const QString none;
    static const std::pair<QString, QString> labels[] = {
        {kinds::Auth, QStringLiteral("XML: Authentification: Message: ")},
        {kinds::AuthCheck, QStringLiteral("XML: Check authentification: Message: ")},
        {kinds::GetStatusHours, QStringLiteral("XML: Get Status des heures: Message: ")},
        {kinds::SetStatusHour, QStringLiteral("XML: Set Status des heures: Message: ")},
        {kinds::FtpSons, QStringLiteral("XML: FTP des sons: Message: ")},
        {kinds::ExportSchedule, QStringLiteral("XML: MAJ Conducteur: Message: ")},
    };
    for (const auto& [k, label] : labels)
        if (k == kind)
            return label;
    return none;
}

// Prefix of the progress line of an error code that every kind reports.
QString errorPrefix(const QString& code)
{
    static const std::pair<QString, QString> prefixes[] = {
        {QStringLiteral("400"), QStringLiteral("Erreur de requête: ")},
        {QStringLiteral("401"), QStringLiteral("Authentification requise: ")},
        {QStringLiteral("402"), QStringLiteral("Erreur 402: ")},
        {QStringLiteral("403"), QStringLiteral("Erreur 403 (Accès interdit): ")},
        {QStringLiteral("404"), QStringLiteral("Erreur 404 (Non trouvé): ")},
        {QStringLiteral("405"), QStringLiteral("Erreur 405 (Méthode non autorisée): ")},
        {QStringLiteral("500"), QStringLiteral("Erreur 500 (Erreur interne (SQL, Librairie,...): ")},
    };
    for (const auto& [c, prefix] : prefixes)
        if (c.compare(code, Qt::CaseInsensitive) == 0)
            return prefix;
    return {};
}

bool isCode(const QString& code, const char* value)
{
    return code.compare(QLatin1StringView(value), Qt::CaseInsensitive) == 0;
}

// Writes the whole copy with the system's own calls. Returns 0 or the error number.
int ecrireCopie(const QString& natif, const QByteArray& contenu)
{
    const int fd =
        ::open(QFile::encodeName(natif).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    int erreur = 0;
    for (qsizetype fait = 0; fait < contenu.size() && erreur == 0;) {
        const ssize_t n = ::write(fd, contenu.constData() + fait, size_t(contenu.size() - fait));
        if (n > 0)
            fait += n;
        else if (n < 0 && errno != EINTR)
            erreur = errno;
    }
    if (::close(fd) != 0 && erreur == 0 && errno != EINTR)
        erreur = errno;
    return erreur;
}

} // namespace

bool CodeErreur(const QString& code)
{
    return !errorPrefix(code.trimmed()).isEmpty();
}

bool AnalyseResultat::utilisable() const
{
    bool code = false;
    for (const QString& c : codes) {
        if (CodeErreur(c))
            return false;
        code = code || !c.trimmed().isEmpty();
    }
    return xml && code;
}

ResponseAnalysis::ResponseAnalysis(Reporter& reporter, Clock& clock, PlatformValues& valeurs)
    : reporter_(reporter), clock_(clock), v_(valeurs)
{
}

void ResponseAnalysis::ligne(const QString& texte)
{
    lignes_.append(texte);
}

QString ResponseAnalysis::nomReponse(const QString& kind) const
{
    const QDateTime now = clock_.now();
    return QStringLiteral("NVX_ResponseMaster_") + kind + u'_' + D2S(now.date()) + u'_' +
           now.toString(QStringLiteral("HHmmss")) + QStringLiteral(".xml");
}

void ResponseAnalysis::conserver(const QByteArray& reponse, const QString& kind)
{
    trap(reporter_, kOrigine, [&] {
        const QString dossier = CheckRep(dossierXML_);
        const QString nom = nomReponse(kind);
        const QString fichier = dossier + nom;
        reporter_.trace(QStringLiteral("API: FichierMaster: ") + fichier);
        // Only the folder is matched to what is on disk, once: the name is always spelled as
        // this program spells it, so looking for another spelling of it would find nothing. A
        // folder renamed since is matched again.
        const bool connu = !dossierNatif_.isEmpty();
        if (!connu)
            dossierNatif_ = NativePath(dossier);
        const QByteArray copie = reponse + QByteArrayLiteral("\r\n");
        int erreur = ecrireCopie(dossierNatif_ + nom, copie);
        if (connu && (erreur == ENOENT || erreur == ENOTDIR)) {
            dossierNatif_ = NativePath(dossier);
            erreur = ecrireCopie(dossierNatif_ + nom, copie);
        }
        if (erreur != 0) {
            dossierNatif_.clear();
            Raise(75,
                  QStringLiteral("Unable to write ") + fichier + QStringLiteral(": ") +
                      qt_error_string(erreur),
                  QStringLiteral("Frm_MainBis"));
        }
    });
}

AnalyseResultat ResponseAnalysis::UDPDataArrival_99_Analyse_Reponse(const QByteArray& reponse,
                                                                    const QString& kind)
{
    AnalyseResultat resultat;

    // The copy is written before the analysis, so that an answer that upsets it is on disk
    // already; the analysis itself reads the answer from memory, so a folder that cannot be
    // written does not make a good answer look like no answer.
    if (conserver_ && !dossierXML_.trimmed().isEmpty())
        conserver(reponse, kind);

    trap(reporter_, kOrigine, [&] {
        pugi::xml_document doc;
        const pugi::xml_parse_result parsed = doc.load_buffer(reponse.constData(), size_t(reponse.size()));
        if (!parsed || !doc.document_element())
            return;
        resultat.xml = true;

        const QString& label = traceLabel(kind);
        const bool authKinds = kind == kinds::Auth || kind == kinds::AuthCheck;
        // Only a refusal in this very answer stops its analysis.
        bool refuse = false;

        for (const pugi::xml_node& response : elementsNamed(doc, "response")) {
            for (pugi::xml_node child = response.first_child(); child && !refuse;
                 child = child.next_sibling()) {
                if (child.type() != pugi::node_element)
                    continue;
                if (named(child, "code")) {
                    const QString code = textOf(child);
                    resultat.codes.append(code);
                    if (isCode(code, "200")) {
                        if (authKinds) {
                            v_.PbBErreurAuthentification = false;
                            v_.PbBTokenValide = true;
                            ligne(QStringLiteral("Authentification: réussie"));
                        }
                    } else if (isCode(code, "204")) {
                        if (kind == kinds::FtpSons)
                            ligne(QStringLiteral("FTP sons: réussie: ") + code);
                    } else if (isCode(code, "300")) {
                        if (kind == kinds::Auth)
                            ligne(QStringLiteral("!!!!! Erreur d'authenfification ") + code +
                                  QStringLiteral(" !!!!!"));
                    } else if (const QString prefix = errorPrefix(code); !prefix.isEmpty()) {
                        ligne(prefix + code);
                        if (isCode(code, "401")) {
                            v_.PbBErreurAuthentification = true;
                            refuse = true;
                        }
                    }
                } else if (named(child, "message")) {
                    if (!label.isEmpty())
                        reporter_.trace(label + textOf(child));
                } else if (named(child, "data")) {
                    const QDateTime now = clock_.now();
                    if (kind == kinds::Auth && v_.PbBTokenValide) {
                        for (const pugi::xml_node& e : elementsNamed(doc, "authSucceeded"))
                            for (const pugi::xml_node& c : e.children())
                                if (named(c, "token"))
                                    v_.TokenId = textOf(c);
                    } else if (kind == kinds::AuthCheck && v_.PbBTokenValide) {
                        for (const pugi::xml_node& e : elementsNamed(doc, "auth")) {
                            for (const pugi::xml_node& c : e.children()) {
                                if (named(c, "token")) {
                                    v_.TokenId = textOf(c);
                                } else if (named(c, "tokenCreated")) {
                                    const QDateTime d = LireDate(textOf(c));
                                    v_.TokenDateCreation = d.isValid() ? d : now;
                                } else if (named(c, "tokenExpire")) {
                                    const QDateTime d = LireDate(textOf(c));
                                    v_.TokenDateExpiration = d.isValid() ? d : now.addSecs(3600);
                                } else if (named(c, "userGUID")) {
                                    v_.PbSCleAPI = textOf(c);
                                } else if (named(c, "userDescription")) {
                                    v_.UserDescription = textOf(c);
                                }
                            }
                        }
                    } else if (kind == kinds::GetStatusHours) {
                        for (const pugi::xml_node& e : elementsNamed(doc, "day")) {
                            for (const pugi::xml_node& c : e.children()) {
                                if (named(c, "date")) {
                                    const QDateTime d = LireDate(textOf(c));
                                    v_.DateStatutHeure = d.isValid() ? d : now;
                                } else if (named(c, "states")) {
                                    v_.PbSStatutsHeures = textOf(c);
                                }
                            }
                        }
                    }
                }
            }
            if (refuse)
                break;
        }
    });

    resultat.lines = std::exchange(lignes_, {});
    return resultat;
}

} // namespace nvx
