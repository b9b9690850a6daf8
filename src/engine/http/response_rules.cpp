#include "engine/http/response_rules.h"

#include "engine/http/url_rules.h"

#include <limits>

namespace QV
{

namespace
{

// Reads the characters of a text in order; every Read... moves past what it accepted.
class Cursor
{
public:
    explicit Cursor(const std::wstring& text) : m_text(text) {}

    bool AtEnd() const { return m_pos == m_text.size(); }

    void SkipBlanks()
    {
        while (m_pos < m_text.size() && (m_text[m_pos] == L' ' || m_text[m_pos] == L'\t'))
            ++m_pos;
    }

    bool Take(wchar_t c)
    {
        if (m_pos < m_text.size() && m_text[m_pos] == c)
        {
            ++m_pos;
            return true;
        }
        return false;
    }

    // 1 to `maxDigits` decimal digits (at least `minDigits`) as a number.
    bool ReadNumber(uint64_t& value, size_t minDigits, size_t maxDigits)
    {
        size_t digits = 0;
        uint64_t v = 0;
        while (m_pos < m_text.size() && digits < maxDigits && m_text[m_pos] >= L'0' &&
               m_text[m_pos] <= L'9')
        {
            v = v * 10 + static_cast<uint64_t>(m_text[m_pos] - L'0');
            ++m_pos;
            ++digits;
        }
        if (digits < minDigits)
            return false;
        value = v;
        return true;
    }

    // Letters up to the next character that is not one.
    std::wstring ReadWord()
    {
        size_t start = m_pos;
        while (m_pos < m_text.size() && ((m_text[m_pos] >= L'A' && m_text[m_pos] <= L'Z') ||
                                         (m_text[m_pos] >= L'a' && m_text[m_pos] <= L'z')))
            ++m_pos;
        return m_text.substr(start, m_pos - start);
    }

private:
    const std::wstring& m_text;
    size_t m_pos = 0;
};

const wchar_t* const kMonths[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                  L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
const wchar_t* const kShortDays[] = {L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat", L"Sun"};
const wchar_t* const kLongDays[] = {L"Monday", L"Tuesday",  L"Wednesday", L"Thursday",
                                    L"Friday", L"Saturday", L"Sunday"};

template <size_t N> bool IsOneOf(const std::wstring& word, const wchar_t* const (&names)[N])
{
    for (const wchar_t* name : names)
    {
        if (word == name)
            return true;
    }
    return false;
}

// 1 to 12 for a month's three-letter name, 0 for anything else.
int MonthNumber(const std::wstring& word)
{
    for (int i = 0; i < 12; ++i)
    {
        if (word == kMonths[i])
            return i + 1;
    }
    return 0;
}

bool IsLeapYear(int64_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int64_t year, int month)
{
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the given day of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// "HH:MM:SS".
bool ReadTime(Cursor& c, uint64_t& hour, uint64_t& minute, uint64_t& second)
{
    return c.ReadNumber(hour, 2, 2) && c.Take(L':') && c.ReadNumber(minute, 2, 2) && c.Take(L':') &&
           c.ReadNumber(second, 2, 2);
}

bool ToSeconds(int64_t year, int month, uint64_t day, uint64_t hour, uint64_t minute,
               uint64_t second, int64_t& seconds)
{
    if (month == 0 || day < 1 || static_cast<int64_t>(day) > DaysInMonth(year, month) ||
        hour > 23 || minute > 59 || second > 60)
        return false;
    seconds = DaysFromCivil(year, month, static_cast<int>(day)) * 86400 +
              static_cast<int64_t>(hour * 3600 + minute * 60 + second);
    return true;
}

} // namespace

bool ParseContentRange(const std::wstring& text, ContentRange& range)
{
    Cursor c(text);
    c.SkipBlanks();
    if (!EqualsNoCase(c.ReadWord(), L"bytes"))
        return false;
    c.SkipBlanks();
    ContentRange r;
    if (!c.ReadNumber(r.first, 1, 19))
        return false;
    c.SkipBlanks();
    if (!c.Take(L'-'))
        return false;
    c.SkipBlanks();
    if (!c.ReadNumber(r.last, 1, 19))
        return false;
    c.SkipBlanks();
    if (!c.Take(L'/'))
        return false;
    c.SkipBlanks();
    if (!c.ReadNumber(r.total, 1, 19))
        return false;
    c.SkipBlanks();
    if (!c.AtEnd() || r.last < r.first || r.last >= r.total)
        return false;
    range = r;
    return true;
}

bool IsStrongEntityTag(const std::wstring& tag)
{
    return tag.size() >= 2 && tag.front() == L'"' && tag.back() == L'"' &&
           tag.find(L'"', 1) == tag.size() - 1;
}

bool ParseHttpDate(const std::wstring& text, int64_t& seconds)
{
    Cursor c(text);
    c.SkipBlanks();
    const std::wstring dayName = c.ReadWord();
    uint64_t day = 0, year = 0, hour = 0, minute = 0, second = 0;
    int month = 0;
    if (IsOneOf(dayName, kShortDays) && c.Take(L','))
    {
        // IMF-fixdate: "Sun, 06 Nov 1994 08:49:37 GMT".
        if (!(c.Take(L' ') && c.ReadNumber(day, 2, 2) && c.Take(L' ')))
            return false;
        month = MonthNumber(c.ReadWord());
        if (!(c.Take(L' ') && c.ReadNumber(year, 4, 4) && c.Take(L' ') &&
              ReadTime(c, hour, minute, second) && c.Take(L' ') && c.ReadWord() == L"GMT"))
            return false;
    }
    else if (IsOneOf(dayName, kLongDays) && c.Take(L','))
    {
        // RFC 850: "Sunday, 06-Nov-94 08:49:37 GMT".
        if (!(c.Take(L' ') && c.ReadNumber(day, 2, 2) && c.Take(L'-')))
            return false;
        month = MonthNumber(c.ReadWord());
        if (!(c.Take(L'-') && c.ReadNumber(year, 2, 2) && c.Take(L' ') &&
              ReadTime(c, hour, minute, second) && c.Take(L' ') && c.ReadWord() == L"GMT"))
            return false;
        year += year < 70 ? 2000 : 1900;
    }
    else if (IsOneOf(dayName, kShortDays) && c.Take(L' '))
    {
        // asctime: "Sun Nov  6 08:49:37 1994" (the day padded with a blank).
        month = MonthNumber(c.ReadWord());
        if (!c.Take(L' '))
            return false;
        c.Take(L' ');
        if (!(c.ReadNumber(day, 1, 2) && c.Take(L' ') && ReadTime(c, hour, minute, second) &&
              c.Take(L' ') && c.ReadNumber(year, 4, 4)))
            return false;
    }
    else
    {
        return false;
    }
    c.SkipBlanks();
    if (!c.AtEnd())
        return false;
    return ToSeconds(static_cast<int64_t>(year), month, day, hour, minute, second, seconds);
}

std::optional<uint32_t> ParseRetryAfter(const std::wstring& value, const std::wstring& date)
{
    constexpr uint64_t kMaxMs = std::numeric_limits<uint32_t>::max();
    Cursor c(value);
    c.SkipBlanks();
    uint64_t delaySeconds = 0;
    if (c.ReadNumber(delaySeconds, 1, 18))
    {
        c.SkipBlanks();
        if (!c.AtEnd())
            return std::nullopt;
        return static_cast<uint32_t>(delaySeconds < kMaxMs / 1000 ? delaySeconds * 1000 : kMaxMs);
    }
    int64_t until = 0;
    int64_t now = 0;
    if (!ParseHttpDate(value, until) || !ParseHttpDate(date, now))
        return std::nullopt;
    if (until <= now)
        return 0u;
    const uint64_t ahead = static_cast<uint64_t>(until - now);
    return static_cast<uint32_t>(ahead < kMaxMs / 1000 ? ahead * 1000 : kMaxMs);
}

} // namespace QV
