#pragma once

#include "common/Host.h"

#include <QMessageBox>
#include <QString>
#include <QStringList>

namespace nvx {

// How the host port's questions and pickers translate to the toolkit's dialogs.

QMessageBox::Icon messageBoxIcon(Host::Icon icon);
QMessageBox::StandardButtons messageBoxButtons(Host::Buttons buttons);
// The button that gives the answer (NoButton for none).
QMessageBox::StandardButton messageBoxButton(Host::Answer answer);
// The answer of a clicked button; fallback for a button the port does not know.
Host::Answer answerOf(QMessageBox::StandardButton button, Host::Answer fallback);
// The answer of a box closed without a button: cancel where there is one, the lone "OK" of a
// notice, else the default answer.
Host::Answer answerWhenClosed(Host::Buttons buttons, Host::Answer defaultAnswer);

// Filters written as "description|patterns|description|patterns" become the dialog's
// "description (patterns)" entries; a lone pattern list is kept as is.
QStringList nameFilters(const QString& filter);

// A path chosen in a dialog, in the suite's form: a path under the drive root gets its drive
// letter back ("<drive root>/c/VL_Data" is "C:\VL_Data"), any other keeps its folders with "\".
QString suiteFormOf(const QString& nativePath);

} // namespace nvx
