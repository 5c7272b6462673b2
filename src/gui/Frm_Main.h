#pragma once

#include "gui/LineListModel.h"

#include <QMainWindow>
#include <QTimer>

#include <array>

class QAction;
class QLabel;
class QListView;
class QPushButton;
class QTabWidget;

namespace nvx {

class Application;
class IncidentDisplay;

// The main window: the job's progress ("Upload"), "Download", and the incidents while there are
// some; "Quitter", "Connecter" with its "Connecté" label, "Test"; the menu. What it shows comes
// from the core's signals; what it is asked goes to the presenters.
class Frm_Main : public QMainWindow {
    Q_OBJECT

public:
    // The progress list keeps the current job; this bounds a job that would never end.
    static constexpr qsizetype kMaxProgressLines = 10000;

    Frm_Main(Application& application, IncidentDisplay& display, QWidget* parent = nullptr);

    // Back where it was left, on a screen that still exists.
    void restorePlacement();
    void savePlacement();

    QTabWidget* SftTabsMain = nullptr;
    QListView* ListeUpload = nullptr;
    QListView* ListeIncidents = nullptr;
    QPushButton* CommandIncidentsPurge = nullptr;
    QPushButton* CommandQuitter = nullptr;
    QPushButton* CommandConnecter = nullptr;
    QPushButton* CommandTest = nullptr;
    QLabel* LabelConnected = nullptr;
    QAction* Mnu01CurrentUser = nullptr;
    QAction* Mnu01User = nullptr;
    QAction* Mnu01Veille = nullptr;
    QAction* Mnu01Options = nullptr;
    QAction* Mnu01Log = nullptr;
    QAction* MnuQuitter = nullptr;
    std::array<QAction*, 2> MnuWhatNews{};
    QAction* Mnu99APropos = nullptr;
    QTimer TimerFlash;
    LineListModel upload{kMaxProgressLines};
    LineListModel incidents;

signals:
    void standbyRequested();
    void optionsRequested();
    void logRequested();
    void aboutRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildTabs();
    void buildButtons(QWidget* central);
    void buildMenu();
    void connectCore();
    void refresh();

    Application& application_;
    IncidentDisplay& display_;
};

} // namespace nvx
