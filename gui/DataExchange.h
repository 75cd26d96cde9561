#pragma once
// Moving page fields to and from their controls, with the inclusive range checks of the pages.
// In the save direction each step parses and checks the control's text; the first failure
// shows the standard message ("Enter an integer between 256 and 20000."), puts the focus on
// the control with its text selected, and turns every later step into a no-op, so a page
// lists its steps in order and asks `ok()` at the end. A refused field keeps its old value.
// Disabled controls are checked all the same. Decimal fields show a full stop and take a full stop
// or, in a comma locale, a comma.
#include "base/JobFields.h"

#include <QString>
#include <string>
#include <type_traits>

class IUserDialogs;
class QCheckBox;
class QLineEdit;
class QWidget;
struct FieldRange;

class CDataExchange
{
public:
    // `initialise`: each field takes its initial value (a job field's default) before it is shown.
    CDataExchange(IUserDialogs& dialogs, QWidget* owner, bool saveAndValidate, bool initialise = false)
        : m_dialogs(dialogs), m_owner(owner), m_saveAndValidate(saveAndValidate), m_initialise(initialise)
    {
    }

    // A field of a job's table, with the check the page makes of it (JobField::pageCheck) and,
    // when initialising, the table's default as its initial value.
    template <typename Settings, typename T> void field(QLineEdit* edit, T& value, const JobField<Settings>& row)
    {
        if (m_initialise)
            value = static_cast<T>(row.defaultValue());
        if constexpr (std::is_same_v<T, float>)
            if (row.pageCheck == PageCheck::positive)
                return numberAbove(edit, value, 0.0f);
        if (row.pageCheck == PageCheck::range)
            number(edit, value, row.page);
        else
            number(edit, value);
    }
    // A check box, `initial` its state when initialising.
    void check(QCheckBox* box, int& field, int initial)
    {
        if (m_initialise)
            field = initial;
        check(box, field);
    }

    bool saveAndValidate() const { return m_saveAndValidate; }
    bool ok() const { return !m_failed; }

    void text(QLineEdit* edit, std::string& field);
    void number(QLineEdit* edit, int& field);
    void number(QLineEdit* edit, long& field);
    void number(QLineEdit* edit, short& field);
    void number(QLineEdit* edit, float& field);
    void number(QLineEdit* edit, int& field, const FieldRange& range);
    void number(QLineEdit* edit, long& field, const FieldRange& range);
    void number(QLineEdit* edit, short& field, const FieldRange& range);
    void number(QLineEdit* edit, float& field, const FieldRange& range);
    // A float that must be greater than `above`.
    void numberAbove(QLineEdit* edit, float& field, float above);
    void check(QCheckBox* box, int& field);

    // The standard messages, for tests and the command line's wording alike.
    static QString integerMessage(double min, double max);
    static QString numberMessage(double min, double max);

private:
    template <typename T> void integer(QLineEdit* edit, T& field, double min, double max);
    void real(QLineEdit* edit, float& field, const FieldRange* range, const float* above);
    void fail(QLineEdit* edit, const QString& message);

    IUserDialogs& m_dialogs;
    QWidget* m_owner;
    bool m_saveAndValidate;
    bool m_initialise;
    bool m_failed = false;
};
