#pragma once
// The clock's font dialog: face, style, size and colour, with a preview of
// the texts the clock shows. The operator drives it with the mouse; the
// window and tests drive it through the same setters.

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QStringList>

#include "ui/font_choices.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QVBoxLayout;

namespace pelm {

class ClockFontDialog : public QDialog {
    Q_OBJECT

public:
    explicit ClockFontDialog(QWidget* parent = nullptr);

    /// The texts shown in the preview, one line each (clock, status texts).
    void setPreviewTexts(const QStringList& texts);

    /// Starts from this font and colour (a size in pixels is read at 96 dpi,
    /// as the clock is drawn); a colour that is not a basic one is
    /// offered as an extra choice so that keeping it needs no action.
    void prepare(const QFont& font, const QColor& color);

    QFont font() const { return font_; }
    QColor color() const { return color_; }
    /// True when the chosen colour differs from the prepared one.
    bool colorChanged() const { return color_ != preparedColor_; }

    void chooseFamily(const QString& family);
    void chooseStyle(FontStyle style);
    void choosePointSize(int points);
    /// False when the colour is not among the choices; nothing changes then.
    bool chooseColor(const QColor& color);

private:
    void buildFaceColumn(QWidget* column);
    void buildStyleColumn(QWidget* column);
    void buildSizeColumn(QWidget* column);
    QWidget* buildColorRow();
    QWidget* buildPreview();

    void fillColors();
    void faceTyped(const QString& text);
    void sizeTyped(const QString& text);
    void updatePreview();

    QFont font_;
    QColor color_;
    QColor preparedColor_;

    QLineEdit* faceEdit_ = nullptr;
    QListWidget* faces_ = nullptr;
    QLineEdit* styleEdit_ = nullptr;
    QListWidget* styles_ = nullptr;
    QLineEdit* sizeEdit_ = nullptr;
    QListWidget* sizes_ = nullptr;
    QComboBox* colors_ = nullptr;
    QVBoxLayout* previewLines_ = nullptr;
};

}  // namespace pelm
