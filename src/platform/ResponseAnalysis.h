#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace nvx {

class Clock;
class Reporter;
struct PlatformValues;

// What the analysis of one answer found, for the step that sent the request.
struct AnalyseResultat {
    bool xml = false;  // the answer was a well-formed document with a root element
    QStringList codes; // the codes acted on, in document order
    QStringList lignes; // the progress lines the answer calls for, in order
    // The answer is one the step can build on: a document that carries a code, none of which
    // is an error code.
    bool utilisable() const;
};

// True for the codes the platform uses to refuse a request (400, 401, 402, 403, 404, 405, 500).
bool CodeErreur(const QString& code);

// Interprets the platform's answers: keeps a copy of the answer in the XML folder while it is
// analysed, turns each answer's code into a progress line (returned with the result), traces its message and takes the
// token, identity and hour-state values out of its data.
class ResponseAnalysis {
public:
    ResponseAnalysis(Reporter& reporter, Clock& clock, PlatformValues& valeurs);

    // Folder (suite form) of the answer copies; empty keeps no copy.
    void setDossierXML(const QString& dossier)
    {
        dossierXML_ = dossier;
        dossierNatif_.clear();
    }

    AnalyseResultat UDPDataArrival_99_Analyse_Reponse(const QByteArray& reponse, const QString& kind);
    AnalyseResultat UDPDataArrival_99_Analyse_Reponse(const QString& reponse, const QString& kind)
    {
        return UDPDataArrival_99_Analyse_Reponse(reponse.toUtf8(), kind);
    }

private:
    // Name of the copy written for an answer of this kind at this time.
    QString nomReponse(const QString& kind) const;
    void ligne(const QString& texte);

    Reporter& reporter_;
    Clock& clock_;
    QStringList lignes_; // lines of the answer being analysed
    PlatformValues& v_;
    QString dossierXML_;
    QString dossierNatif_; // the folder as found on disk, once a copy has been written there
};

} // namespace nvx
