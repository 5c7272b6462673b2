#include "net/FtpClient.h"

#include <QUrl>

namespace nvx {

namespace {

const QString kAnnulee = QStringLiteral("connexion annulée");
const QString kNonConnecte = QStringLiteral("non connecté");
const QString kIntrouvable = QStringLiteral("serveur introuvable");

// The folders of an absolute path, "." and ".." resolved and empty parts dropped; ".." at the
// root stays at the root, as a server's CWD does.
QStringList dossiersDe(const QString& chemin)
{
    QStringList dossiers;
    for (const QString& partie : chemin.split(u'/', Qt::SkipEmptyParts)) {
        if (partie == u"..") {
            if (!dossiers.isEmpty())
                dossiers.removeLast();
        } else if (partie != u".") {
            dossiers.append(partie);
        }
    }
    return dossiers;
}

QString cheminDe(const QStringList& dossiers)
{
    return u'/' + dossiers.join(u'/');
}

// chemin taken from courant when it is relative, as an absolute path in normal form.
QString resoudre(const QString& courant, const QString& chemin)
{
    return cheminDe(dossiersDe(chemin.startsWith(u'/') ? chemin : courant + u'/' + chemin));
}

// Each folder encoded on its own, so that a blank, '#', '%' or an accented letter in a name
// reaches the server as written, and a '/' can only separate folders.
QByteArray encoder(const QStringList& dossiers)
{
    QByteArray chemin;
    for (const QString& d : dossiers)
        chemin += QUrl::toPercentEncoding(d) + '/';
    return chemin;
}

// What the server answered last, as libcurl hands FTP replies to the header callback.
size_t noterReponse(char* data, size_t size, size_t count, void* target)
{
    const QByteArray ligne = QByteArray(data, qsizetype(size * count)).trimmed();
    if (!ligne.isEmpty())
        *static_cast<QByteArray*>(target) = ligne;
    return size * count;
}

// A reply that tells the server does not know or does not offer a command.
bool commandeInconnue(long code)
{
    return code == 500 || code == 501 || code == 502 || code == 504;
}

// What the exchange asks of the server.
enum class Demande {
    Entrer,      // log in, and enter the folder when one is given
    ListerMlsd,  // the folder's facts, one line an entry
    ListerListe, // the folder as its detailed listing
};

// How one exchange with the server went.
struct Echange {
    TransferResult resultat;
    QByteArray donnees;
    QByteArray reponse; // the server's last reply line (FTP)
    long code = 0;      // its number
    bool joint = false; // the server was reached
    QString entree;     // the folder the session started in
};

QString raisonDe(const Echange& x)
{
    if (x.resultat.failure == TransferFailure::Abandoned)
        return kAnnulee;
    if (x.resultat.failure == TransferFailure::Tls)
        return QStringLiteral("échec de la sécurisation TLS");
    switch (x.resultat.code) {
    case CURLE_COULDNT_CONNECT:
        return QStringLiteral("connexion refusée par le serveur");
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return kIntrouvable;
    case CURLE_OPERATION_TIMEDOUT:
        return x.joint ? QStringLiteral("le serveur ne répond plus")
                       : QStringLiteral("délai de connexion dépassé");
    case CURLE_LOGIN_DENIED:
    case CURLE_AUTH_ERROR:
        return QStringLiteral("identifiant ou mot de passe refusé");
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FTP_COULDNT_RETR_FILE:
        return QStringLiteral("dossier introuvable ou accès refusé");
    case CURLE_USE_SSL_FAILED:
        return QStringLiteral("échec de la sécurisation TLS");
    case CURLE_SSH:
        return QStringLiteral("échec de la session SSH");
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_ACCEPT_TIMEOUT:
        return QStringLiteral("ouverture de la connexion de données impossible");
    case CURLE_WEIRD_SERVER_REPLY:
        return QStringLiteral("réponse inattendue du serveur");
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
        return QStringLiteral("connexion interrompue");
    default:
        return QStringLiteral("échec de l'échange avec le serveur");
    }
}

// The reason, with the server's refusal when it gave one, else the library's own text. Some
// servers quote what they were sent: the password is masked wherever it shows.
QString messageDe(const Echange& x, const QString& password)
{
    const QString raison = raisonDe(x);
    if (x.resultat.failure == TransferFailure::Abandoned)
        return raison;
    const bool refus = x.reponse.startsWith('4') || x.reponse.startsWith('5');
    QString detail = refus ? QString::fromUtf8(x.reponse) : x.resultat.erreur;
    if (!password.isEmpty())
        detail.replace(password, QStringLiteral("***"), Qt::CaseInsensitive);
    return detail.isEmpty() ? raison : raison + QStringLiteral(" (") + detail + u')';
}

// The entries of a listing but the folder itself and its parent, which some servers list.
QList<FtpEntry> entreesDe(const QByteArray& donnees, bool mlsd)
{
    QList<FtpEntry> entrees = parseListing(donnees, mlsd);
    entrees.removeIf([](const FtpEntry& e) { return e.name == u"." || e.name == u".."; });
    return entrees;
}

} // namespace

struct FtpClient::Etat {
    explicit Etat(Host& h) : host(h) {}

    Host& host;
    std::unique_ptr<CurlLoop> boucle;
    FtpCompte compte;
    const char* schema = "ftp";
    bool connecte = false;
    bool sansMlsd = false;
    int occupe = 0;
    bool annule = false;
    bool aFermer = false;
    QString dossier = QStringLiteral("/");
    QString erreur;

    bool ssh() const { return compte.securite == FtpCompte::Securite::Ssh; }
    QByteArray url(const QString* dossier) const;
    void preparer(CURL* e, const QByteArray& adresse, QByteArray* reponse) const;
    Echange echanger(const QString* dossier, Demande demande);
    FtpListe listeDe(const Echange& x, bool mlsd);
    void echec(const Echange& x) { erreur = messageDe(x, compte.password); }

    // Keeps the loop alive while an operation waits in it; a disconnection asked meanwhile drops
    // the connection once the operation is over.
    struct Occupation {
        explicit Occupation(Etat& e) : etat(e)
        {
            if (etat.occupe++ == 0)
                etat.annule = false;
        }
        ~Occupation()
        {
            if (--etat.occupe == 0 && etat.aFermer) {
                etat.aFermer = false;
                etat.boucle.reset();
            }
        }
        Occupation(const Occupation&) = delete;
        Occupation& operator=(const Occupation&) = delete;
        Etat& etat;
    };
};

// The folder's address, absolute from the server's root; without a folder, the session's start
// folder. On FTP a leading "%2F" makes the first CWD go to the root rather than down from the
// login folder.
QByteArray FtpClient::Etat::url(const QString* chemin) const
{
    QByteArray hote = compte.serveur.trimmed().toUtf8();
    if (hote.contains(':'))
        hote = '[' + hote + ']';
    QByteArray adresse = QByteArray(schema) + "://" + hote + ':' + QByteArray::number(compte.port) + '/';
    if (!chemin)
        return adresse;
    if (!ssh())
        adresse += "%2F";
    const QStringList dossiers = dossiersDe(*chemin);
    if (!ssh() && !dossiers.isEmpty())
        adresse += '/';
    return adresse + encoder(dossiers);
}

void FtpClient::Etat::preparer(CURL* e, const QByteArray& adresse, QByteArray* reponse) const
{
    curl_easy_setopt(e, CURLOPT_URL, adresse.constData());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, schema);
    curl_easy_setopt(e, CURLOPT_USERNAME, compte.user.toUtf8().constData());
    curl_easy_setopt(e, CURLOPT_PASSWORD, compte.password.toUtf8().constData());
    if (ssh()) {
        // No known-hosts file is given, so any host key is taken: the tester only reads, and a
        // station's server is checked by the person who set it up.
        curl_easy_setopt(e, CURLOPT_SSH_AUTH_TYPES, long(CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD));
        return;
    }
    if (compte.securite == FtpCompte::Securite::Ssl) {
        curl_easy_setopt(e, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
        // A station's own server usually has a self-signed certificate; the tester only reads,
        // so the channel is encrypted without checking who holds it.
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 0L);
    }
    if (!compte.passif)
        curl_easy_setopt(e, CURLOPT_FTPPORT, "-");
    curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(boucle->answerTimeout()));
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, noterReponse);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, reponse);
}

Echange FtpClient::Etat::echanger(const QString* chemin, Demande demande)
{
    Echange x;
    const CurlLoop::Handle h = boucle->handle();
    CURL* e = h.get();
    const QByteArray adresse = url(chemin);
    // Asks for the facts the list shows; a server that knows none of them still lists.
    curl_slist faits{const_cast<char*>("*OPTS MLST type;size;modify;UNIX.mode;UNIX.owner;UNIX.group;"),
                     nullptr};
    qsizetype limite = CurlLoop::kDefaultMaxBytes;
    if (e) {
        preparer(e, adresse, &x.reponse);
        if (demande == Demande::ListerMlsd) {
            curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, "MLSD");
            curl_easy_setopt(e, CURLOPT_QUOTE, &faits);
        } else if (demande == Demande::Entrer && (!ssh() || !chemin)) {
            curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
        } else if (demande == Demande::Entrer) {
            // SFTP only opens a folder to read it: the first byte read proves it open, and
            // the rest is not needed.
            limite = 0;
        }
    }
    x.resultat = boucle->run(e, &x.donnees, limite);
    if (x.resultat.failure == TransferFailure::TooLarge && limite == 0)
        x.resultat = TransferResult{};
    if (e && x.resultat.failure != TransferFailure::Abandoned) {
        curl_off_t connexion = 0;
        curl_easy_getinfo(e, CURLINFO_CONNECT_TIME_T, &connexion);
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &x.code);
        x.joint = connexion > 0 || x.code > 0;
        const char* entree = nullptr;
        if (curl_easy_getinfo(e, CURLINFO_FTP_ENTRY_PATH, &entree) == CURLE_OK && entree)
            x.entree = QString::fromUtf8(entree);
    }
    return x;
}

FtpListe FtpClient::Etat::listeDe(const Echange& x, bool mlsd)
{
    FtpListe liste;
    if (x.resultat.ok()) {
        liste.entrees = entreesDe(x.donnees, mlsd);
        erreur.clear();
        return liste;
    }
    echec(x);
    if (x.donnees.isEmpty()) {
        liste.etat = FtpListe::Etat::OuvertureImpossible;
        return liste;
    }
    // Only the lines that arrived whole.
    liste.etat = FtpListe::Etat::LectureInterrompue;
    liste.entrees = entreesDe(x.donnees.left(x.donnees.lastIndexOf('\n') + 1), mlsd);
    return liste;
}

FtpClient::FtpClient(Host& host) : d_(std::make_unique<Etat>(host)) {}

FtpClient::~FtpClient() = default;

bool FtpClient::connecter(const FtpCompte& compte)
{
    deconnecter();
    d_->compte = compte;
    // A row saved without a port (or with a text that is not one) takes the protocol's own.
    if (d_->compte.port <= 0 || d_->compte.port > 65535)
        d_->compte.port = compte.securite == FtpCompte::Securite::Ssh ? 22 : 21;
    d_->erreur.clear();
    if (compte.serveur.trimmed().isEmpty()) {
        d_->erreur = kIntrouvable;
        return false;
    }
    const Etat::Occupation occupation(*d_);
    const auto nouvelleBoucle = [this] {
        d_->boucle = std::make_unique<CurlLoop>(d_->host);
        d_->boucle->setTimeouts(d_->compte.delai, d_->compte.delai);
        d_->boucle->abandon = [this] { return d_->annule || (abandon && abandon()); };
    };
    nouvelleBoucle();
    d_->schema = d_->ssh() ? "sftp" : "ftp";
    Echange x = d_->echanger(nullptr, Demande::Entrer);
    // Port 990 is the one of servers that speak TLS from the first byte, without AUTH TLS.
    const bool implicite = compte.securite == FtpCompte::Securite::Ssl && d_->compte.port == 990;
    if (!x.resultat.ok() && implicite && x.resultat.failure != TransferFailure::Abandoned &&
        x.resultat.code != CURLE_LOGIN_DENIED) {
        d_->schema = "ftps";
        nouvelleBoucle();
        x = d_->echanger(nullptr, Demande::Entrer);
    }
    if (!x.resultat.ok()) {
        d_->echec(x);
        d_->aFermer = true;
        return false;
    }
    d_->dossier = x.entree.startsWith(u'/') ? resoudre(QStringLiteral("/"), x.entree) : QStringLiteral("/");
    d_->connecte = true;
    return true;
}

void FtpClient::annuler()
{
    if (d_->occupe > 0)
        d_->annule = true;
}

bool FtpClient::connecte() const
{
    return d_->connecte;
}

void FtpClient::deconnecter()
{
    d_->connecte = false;
    d_->sansMlsd = false;
    d_->dossier = QStringLiteral("/");
    // Dropping the loop closes its cached connection; while an operation waits in it, that
    // operation is ended first.
    if (d_->occupe > 0) {
        d_->annule = true;
        d_->aFermer = true;
    } else {
        d_->boucle.reset();
    }
}

FtpListe FtpClient::lister()
{
    if (!d_->connecte || !d_->boucle) {
        d_->erreur = kNonConnecte;
        return FtpListe{FtpListe::Etat::OuvertureImpossible, {}};
    }
    const Etat::Occupation occupation(*d_);
    if (!d_->ssh() && !d_->sansMlsd) {
        const Echange x = d_->echanger(&d_->dossier, Demande::ListerMlsd);
        const bool refusee = !x.resultat.ok() && x.donnees.isEmpty() && commandeInconnue(x.code);
        if (!refusee)
            return d_->listeDe(x, true);
        // Remembered for the connection: the server will not learn MLSD before it ends.
        d_->sansMlsd = true;
    }
    return d_->listeDe(d_->echanger(&d_->dossier, Demande::ListerListe), false);
}

bool FtpClient::changerDossier(const QString& chemin)
{
    if (!d_->connecte || !d_->boucle) {
        d_->erreur = kNonConnecte;
        return false;
    }
    const Etat::Occupation occupation(*d_);
    const QString cible = resoudre(d_->dossier, chemin.trimmed());
    const Echange x = d_->echanger(&cible, Demande::Entrer);
    if (!x.resultat.ok()) {
        d_->echec(x);
        return false;
    }
    d_->dossier = cible;
    d_->erreur.clear();
    return true;
}

QString FtpClient::dossierCourant() const
{
    return d_->dossier;
}

QString FtpClient::derniereErreur() const
{
    return d_->erreur;
}

} // namespace nvx
