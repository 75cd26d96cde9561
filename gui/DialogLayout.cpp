#include "gui/DialogLayout.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace
{
// MulDiv of the window system: a * b / c rounded half away from zero.
int MulDiv(int a, int b, int c)
{
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}
} // namespace

QFont DialogFont()
{
    QFont font = QApplication::font();
    // 8 points at 96 dpi is an 11 pixel em; pixels keep the layout independent of the
    // screen's reported resolution.
    font.setPixelSize(11);
    return font;
}

DialogUnits::DialogUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    // The average width of the 52 letters, rounded, as dialog templates measure it.
    const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = (letters / 26 + 1) / 2;
    m_baseY = metrics.height();
}

QRect DialogUnits::rect(int x, int y, int width, int height) const
{
    const int left = MulDiv(x, m_baseX, 4);
    const int top = MulDiv(y, m_baseY, 8);
    const int right = MulDiv(x + width, m_baseX, 4);
    const int bottom = MulDiv(y + height, m_baseY, 8);
    return QRect(left, top, right - left, bottom - top);
}

QSize DialogUnits::size(int width, int height) const
{
    return rect(0, 0, width, height).size();
}

void DigitsOnlyEdit::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text();
    for (const QChar c : text)
    {
        if (c.isPrint() && !c.isDigit())
        {
            QApplication::beep();
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

DialogBuilder::DialogBuilder(QWidget* parent) : m_parent(parent), m_units(DialogFont())
{
    parent->setFont(DialogFont());
}

QLabel* DialogBuilder::label(const QString& text, int x, int y, int width, int height, QWidget* buddy)
{
    auto* label = new QLabel(text, m_parent);
    if (buddy)
        label->setBuddy(buddy);
    label->setGeometry(m_units.rect(x, y, width, height));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QLineEdit* DialogBuilder::edit(const char* name, EditStyle style, int x, int y, int width, int height)
{
    QLineEdit* edit = style == EditStyle::DigitsOnly ? new DigitsOnlyEdit(m_parent) : new QLineEdit(m_parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(m_units.rect(x, y, width, height));
    if (style == EditStyle::ReadOnly || style == EditStyle::ReadOnlyRightAligned)
    {
        // A read-only field shows the window's colour behind its text, so it does not look as if
        // it could be typed into.
        edit->setReadOnly(true);
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        edit->setPalette(palette);
    }
    if (style == EditStyle::ReadOnlyRightAligned)
        edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return edit;
}

QPushButton* DialogBuilder::button(const char* name, const QString& text, int x, int y, int width, int height)
{
    auto* button = new QPushButton(text, m_parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(m_units.rect(x, y, width, height));
    // Enter clicks the button that has the focus, as in any dialog; elsewhere it goes to the
    // page's default button, if it has one.
    button->setAutoDefault(true);
    return button;
}

QCheckBox* DialogBuilder::checkBox(const char* name, const QString& text, int x, int y, int width, int height)
{
    auto* box = new QCheckBox(text, m_parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(m_units.rect(x, y, width, height));
    return box;
}

QGroupBox* DialogBuilder::groupBox(const QString& text, int x, int y, int width, int height)
{
    auto* box = new QGroupBox(text, m_parent);
    box->setGeometry(m_units.rect(x, y, width, height));
    box->setFocusPolicy(Qt::NoFocus);
    // The title sits on the frame's top line, half a text line below the box's top edge, as
    // group boxes of dialog templates draw it.
    const int half = QFontMetrics(DialogFont()).height() / 2;
    box->setStyleSheet(QStringLiteral("QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: %1px; }"
                                      "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
                                      " left: 6px; padding: 0px 2px; }")
                           .arg(half));
    box->lower();
    return box;
}

QProgressBar* DialogBuilder::progressBar(const char* name, int x, int y, int width, int height)
{
    auto* bar = new QProgressBar(m_parent);
    bar->setObjectName(QLatin1String(name));
    bar->setGeometry(m_units.rect(x, y, width, height));
    bar->setTextVisible(false);
    return bar;
}

QFrame* DialogBuilder::blackFrame(const char* name, int x, int y, int width, int height)
{
    auto* frame = new QFrame(m_parent);
    frame->setObjectName(QLatin1String(name));
    frame->setGeometry(m_units.rect(x, y, width, height));
    frame->setFrameStyle(QFrame::Box | QFrame::Plain);
    frame->setLineWidth(1);
    QPalette palette = frame->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    frame->setPalette(palette);
    return frame;
}

void SetPathText(QLineEdit* edit, const QString& path)
{
    edit->setText(path);
    edit->setCursorPosition(static_cast<int>(path.size()));
}
