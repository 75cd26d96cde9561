#include "gui/DataExchange.h"

#include "gui/UserDialogs.h"
#include "base/FieldRange.h"
#include "base/Sinks.h"
#include "base/Text.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QLocale>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace
{
QString FormatBound(double value)
{
    if (value == std::trunc(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<long long>(value));
    return QString::number(value, 'g', 6);
}

// The whole text, less surrounding blanks, must be the number; nothing may follow it.
bool ParseInteger(const QString& text, long long& value)
{
    const QByteArray bytes = text.trimmed().toLatin1();
    const std::optional<long long> parsed = ParseWhole(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    value = parsed.value_or(0);
    return parsed.has_value();
}

// A full stop is a decimal separator whatever the locale (the fields show one, and strtod under
// a comma locale would refuse the fields' own defaults), and so is the locale's own separator,
// which a user of a comma locale types everywhere else. A leading "+" is allowed, as it always
// was; hexadecimal forms, infinities and NaN are not numbers to a user.
bool ParseFloat(const QString& text, float& value)
{
    QString decimal = text.trimmed();
    if (const QString separator = QLocale().decimalPoint(); separator != QLatin1String("."))
        decimal.replace(separator, QLatin1String("."));
    const QByteArray bytes = decimal.toLatin1();
    const std::optional<double> parsed = ParseNumber(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    if (!parsed || std::fabs(*parsed) > std::numeric_limits<float>::max())
        return false;
    value = static_cast<float>(*parsed);
    return true;
}
} // namespace

QString CDataExchange::integerMessage(double min, double max)
{
    return QCoreApplication::translate("DataExchange", "Enter an integer between %1 and %2.")
        .arg(FormatBound(min), FormatBound(max));
}

QString CDataExchange::numberMessage(double min, double max)
{
    return QCoreApplication::translate("DataExchange", "Enter a number between %1 and %2.")
        .arg(FormatBound(min), FormatBound(max));
}

void CDataExchange::fail(QLineEdit* edit, const QString& message)
{
    m_failed = true;
    m_dialogs.message(m_owner, message, AppCaption(), MessageIcon::Warning);
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}

void CDataExchange::text(QLineEdit* edit, std::string& field)
{
    if (m_failed)
        return;
    if (m_saveAndValidate)
        field = edit->text().toStdString();
    else
        edit->setText(QString::fromStdString(field));
}

template <typename T> void CDataExchange::integer(QLineEdit* edit, T& field, double min, double max)
{
    if (m_failed)
        return;
    if (!m_saveAndValidate)
    {
        edit->setText(QString::number(field));
        return;
    }
    long long value = 0;
    if (!ParseInteger(edit->text(), value) || value < std::numeric_limits<T>::min() ||
        value > std::numeric_limits<T>::max())
    {
        fail(edit, QCoreApplication::translate("DataExchange", "Enter an integer."));
        return;
    }
    if (static_cast<double>(value) < min || static_cast<double>(value) > max)
    {
        fail(edit, integerMessage(min, max));
        return;
    }
    field = static_cast<T>(value);
}

void CDataExchange::real(QLineEdit* edit, float& field, const FieldRange* range, const float* above)
{
    if (m_failed)
        return;
    if (!m_saveAndValidate)
    {
        edit->setText(QString::number(static_cast<double>(field), 'g', 6));
        return;
    }
    float value = 0.0f;
    if (!ParseFloat(edit->text(), value))
    {
        fail(edit, QCoreApplication::translate("DataExchange", "Enter a number."));
        return;
    }
    // Bounds are compared in single precision, like the field itself.
    if (range && !(value >= static_cast<float>(range->min) && value <= static_cast<float>(range->max)))
    {
        fail(edit, numberMessage(range->min, range->max));
        return;
    }
    if (above && !(value > *above))
    {
        fail(edit, QCoreApplication::translate("DataExchange", "Enter a number greater than %1.")
                       .arg(FormatBound(static_cast<double>(*above))));
        return;
    }
    field = value;
}

void CDataExchange::number(QLineEdit* edit, int& field)
{
    integer(edit, field, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
}

void CDataExchange::number(QLineEdit* edit, long& field)
{
    // A 32-bit field, as on the platform the pages were designed for.
    integer(edit, field, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
}

void CDataExchange::number(QLineEdit* edit, short& field)
{
    integer(edit, field, std::numeric_limits<short>::min(), std::numeric_limits<short>::max());
}

void CDataExchange::number(QLineEdit* edit, float& field)
{
    real(edit, field, nullptr, nullptr);
}

void CDataExchange::number(QLineEdit* edit, int& field, const FieldRange& range)
{
    integer(edit, field, range.min, range.max);
}

void CDataExchange::number(QLineEdit* edit, long& field, const FieldRange& range)
{
    integer(edit, field, range.min, range.max);
}

void CDataExchange::number(QLineEdit* edit, short& field, const FieldRange& range)
{
    integer(edit, field, range.min, range.max);
}

void CDataExchange::number(QLineEdit* edit, float& field, const FieldRange& range)
{
    real(edit, field, &range, nullptr);
}

void CDataExchange::numberAbove(QLineEdit* edit, float& field, float above)
{
    real(edit, field, nullptr, &above);
}

void CDataExchange::check(QCheckBox* box, int& field)
{
    if (m_failed)
        return;
    if (m_saveAndValidate)
        field = box->isChecked() ? 1 : 0;
    else
        box->setChecked(field != 0);
}
