#pragma once
// Dialog templates in Qt: controls are placed in dialog units, converted to pixels from the
// dialog font's metrics exactly as dialog templates are (a horizontal unit is a quarter of the
// average character width, a vertical unit an eighth of the character height), and created in
// template order, which is the tab order.
#include <QFont>
#include <QLineEdit>
#include <QRect>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

// The font of every dialog and page: the system's sans-serif face at the pixel size of an
// 8 point dialog font on a 96 dpi screen.
QFont DialogFont();

class DialogUnits
{
public:
    explicit DialogUnits(const QFont& font);
    int baseX() const { return m_baseX; }
    int baseY() const { return m_baseY; }
    // Left, top, width, height in dialog units to pixels; right and bottom are converted as
    // edges, so adjoining controls stay adjoining.
    QRect rect(int x, int y, int width, int height) const;
    QSize size(int width, int height) const;

private:
    int m_baseX;
    int m_baseY;
};

// An edit that takes typed digits only; text set by the program may hold anything ("-1").
class DigitsOnlyEdit : public QLineEdit
{
public:
    using QLineEdit::QLineEdit;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

enum class EditStyle
{
    Plain,
    DigitsOnly,
    ReadOnly,            // a path chosen through "Browse", left-aligned
    ReadOnlyRightAligned // a path chosen through "Browse", showing its end
};

// Creates the controls of one template on `parent` (whose font it sets to DialogFont()).
class DialogBuilder
{
public:
    explicit DialogBuilder(QWidget* parent);
    const DialogUnits& units() const { return m_units; }

    // A label names the field it belongs to (`buddy`), as screen readers read it.
    QLabel* label(const QString& text, int x, int y, int width, int height, QWidget* buddy = nullptr);
    QLineEdit* edit(const char* name, EditStyle style, int x, int y, int width, int height);
    QPushButton* button(const char* name, const QString& text, int x, int y, int width, int height);
    QCheckBox* checkBox(const char* name, const QString& text, int x, int y, int width, int height);
    // Group boxes only frame their neighbours; they are kept below them so they never cover
    // or catch clicks meant for the controls inside.
    QGroupBox* groupBox(const QString& text, int x, int y, int width, int height);
    QProgressBar* progressBar(const char* name, int x, int y, int width, int height);
    QFrame* blackFrame(const char* name, int x, int y, int width, int height);

private:
    QWidget* m_parent;
    DialogUnits m_units;
};

// Shows the end of a path in a right-aligned, read-only edit.
void SetPathText(QLineEdit* edit, const QString& path);
