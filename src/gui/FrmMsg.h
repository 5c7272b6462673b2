#pragma once

#include <QRegion>
#include <QSize>
#include <QWidget>

class QLabel;

namespace nvx {

// The splash window shown while the program starts: one line of text in a borderless window
// with rounded corners, above every other window, centred at the top edge of the screen so that
// it does not cover the dialogs the start-up may ask.
class FrmMsg final : public QWidget {
    Q_OBJECT

public:
    // Width and height of the ellipses that round the corners.
    static constexpr int kCornerSize = 24;

    explicit FrmMsg(QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const;

    // The shape of a rectangle of the given size whose corners are quarter ellipses of
    // corner × corner pixels.
    static QRegion roundedRegion(QSize size, QSize corner);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void placeAtTop();

    QLabel* label_;
};

} // namespace nvx
