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
    bool xml = false;   // the answer was a well-formed document with a root element
    QStringList codes;  // the codes acted on, in document order
    QStringList lines; // the progress lines the answer calls for, in order
    // The answer is one the step can build on: a document that carries a code, none of which
    // is an error code.
    bool utilisable() const;
};

// True for the codes the platform uses to refuse a request (400, 401, 402, 403, 404, 405, 500).
bool CodeErreur(const QString& code);

// Interprets the platform's answers from memory: turns each answer's code into a progress line (returned
// with the result),
// traces its message and takes the token, identity and hour-state values out of its data. When
// asked, a copy of each answer is also written to the XML folder and kept there for diagnosis.
class ResponseAnalysis {
public:
    ResponseAnalysis(Reporter& reporter, Clock& clock, PlatformValues& valeurs);

    // Folder (suite form) of the answer copies; empty keeps no copy.
    void setDossierXML(const QString& dossier)
    {
        dossierXML_ = dossier;
        dossierNatif_.clear();
    }
    // Whether each answer is written to the folder and kept; off, nothing is written.
    void setConserverReponses(bool conserver) { conserver_ = conserver; }

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
    // Writes the answer's copy; a folder that cannot be written is reported.
    void conserver(const QByteArray& reponse, const QString& kind);

    QString dossierXML_;
    bool conserver_ = false;
    QString dossierNatif_; // the folder as found on disk, once a copy has been written there
};

} // namespace nvx
