#pragma once

// Who gets which alarm line, written once more from the rules alone and
// kept deliberately plain (std only, no engine code, its own calendar), so
// that a generated comparison with the engine finds where either is wrong.

#include <algorithm>
#include <array>
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace taviro::model {

struct Clock
{
    int hour, minute;
};

struct Week // a week schedule; cells[21 * position + 3 * day + block]
{
    std::array<std::string, 3> starts;
    bool rij2 = false, rij3 = false;
    std::array<long, 63> cells{};
};

struct Year
{
    std::array<long, 53> weeks{}; // weeks[w - 1] is the week schedule of week w
};

struct Line
{
    long id;
    bool mactief, aactief, uurs24, tolate, indexactief, bemand;
    long melderRule, pointRule, weekmelder, jaarmelder, roosterId;
};

struct Outcome
{
    // Recipients in the order their dispatches are written, each with its lines.
    std::vector<std::pair<long, std::vector<long>>> dispatches;
    std::vector<long> booked; // lines on the bookkeeping dispatch
    // Lines classed for forwarding, and those of them nobody was found for.
    std::vector<long> forward, unreached;
};

struct World
{
    std::map<long, Week> weeks;
    std::map<long, Year> years;
    bool einddienst = false;
    std::string eindtijd;
};

// "h:m", "hh:mm", "h:mm:ss", "24:00", blanks around; nothing else.
inline std::optional<int> minuteOf(std::string s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.erase(0, 1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.pop_back();
    std::vector<int> parts;
    std::string digits;
    for (size_t i = 0; i <= s.size(); ++i) {
        if (i == s.size() || s[i] == ':') {
            if (digits.empty() || digits.size() > 2)
                return std::nullopt;
            parts.push_back(std::stoi(digits));
            digits.clear();
        } else if (s[i] >= '0' && s[i] <= '9') {
            digits += s[i];
        } else {
            return std::nullopt;
        }
    }
    if (parts.size() < 2 || parts.size() > 3)
        return std::nullopt;
    const int sec = parts.size() == 3 ? parts[2] : 0;
    if (parts[0] == 24 && parts[1] == 0 && sec == 0)
        return 24 * 60;
    if (parts[0] > 23 || parts[1] > 59 || sec > 59)
        return std::nullopt;
    return parts[0] * 60 + parts[1];
}

// Week 1 holds the year's first Thursday; weeks start on Monday.
inline int isoWeek(std::chrono::sys_days day)
{
    using namespace std::chrono;
    const unsigned wd = weekday(day).iso_encoding(); // Monday 1 .. Sunday 7
    const sys_days thursday = day + days(4 - int(wd));
    const year y = year_month_day(thursday).year();
    return int((thursday - sys_days(y / January / 1)).count()) / 7 + 1;
}

// The (week schedule, day 1..7, block) on duty for one schedule reference,
// or nothing.
struct Slot
{
    long week;
    int day, block;
};

inline std::optional<Slot> onDuty(const World& w, std::chrono::sys_days today, Clock now,
                                  bool yearMode, long ref, bool& missing)
{
    using namespace std::chrono;
    missing = false;
    auto weekOf = [&](sys_days day) -> std::optional<long> {
        if (!yearMode)
            return w.weeks.count(ref) ? std::optional<long>(ref) : std::nullopt;
        if (!w.years.count(ref))
            return std::nullopt;
        const long id = w.years.at(ref).weeks[isoWeek(day) - 1];
        return id != 0 && w.weeks.count(id) ? std::optional<long>(id) : std::nullopt;
    };
    const auto thisWeek = weekOf(today);
    if (!thisWeek) {
        missing = true;
        return std::nullopt;
    }
    const Week& sched = w.weeks.at(*thisWeek);
    const int at = now.hour * 60 + now.minute;
    const int weekday = int(std::chrono::weekday(today).iso_encoding());
    // Blocks with an unreadable start do not exist; the one before runs on.
    std::vector<std::pair<int, int>> starts; // (block, minute)
    for (int b = 0; b < 3; ++b)
        if (auto m = minuteOf(sched.starts[b]))
            starts.push_back({b, *m});
    if (starts.empty())
        return std::nullopt;
    const auto end = minuteOf(w.eindtijd);
    const int endMinute = end ? *end : 24 * 60;
    if (at >= starts[0].second) {
        std::optional<int> block;
        for (size_t i = 0; i < starts.size() && !block; ++i) {
            const bool last = i + 1 == starts.size();
            if (at >= starts[i].second && (last || at < starts[i + 1].second))
                block = starts[i].first;
        }
        if (!block || (w.einddienst && at >= endMinute))
            return std::nullopt;
        return Slot{*thisWeek, weekday, *block};
    }
    if (w.einddienst)
        return std::nullopt;
    long nightWeek = *thisWeek;
    if (weekday == 1) {
        const auto previous = weekOf(today - days(7));
        if (!previous) {
            missing = true;
            return std::nullopt;
        }
        nightWeek = *previous;
    }
    const Week& night = w.weeks.at(nightWeek);
    const int inUse = night.rij3 ? 3 : night.rij2 ? 2 : 1;
    for (int b = inUse - 1; b >= 0; --b)
        if (minuteOf(night.starts[b]))
            return Slot{nightWeek, weekday == 1 ? 7 : weekday - 1, b};
    return std::nullopt;
}

inline Outcome dispatchesFor(const World& w, std::chrono::sys_days today, Clock now,
                             const std::vector<Line>& lines)
{
    Outcome out;
    // The four classes, resolved in this order; a line's position within its
    // class follows the report.
    std::array<std::vector<std::pair<long, long>>, 4> classes; // (line, schedule)
    auto keep = [&out](const Line& l) {
        if (l.mactief && l.aactief && (!l.uurs24 || l.tolate))
            out.booked.push_back(l.id);
    };
    for (const Line& l : lines) {
        if (l.bemand || !l.mactief || !l.aactief || (l.uurs24 && !l.indexactief) ||
            l.pointRule == 1)
            keep(l);
        else if (l.pointRule == 0 && l.melderRule == 1)
            classes[0].push_back({l.id, l.weekmelder});
        else if (l.pointRule == 0 && l.melderRule == 2)
            classes[1].push_back({l.id, l.jaarmelder});
        else if (l.pointRule == 2)
            classes[2].push_back({l.id, l.roosterId});
        else if (l.pointRule == 3)
            classes[3].push_back({l.id, l.roosterId});
        else
            keep(l); // follows a transmitter that does not forward: booked, not lost
    }
    std::vector<long> missingLines;
    for (int c = 0; c < 4; ++c) {
        for (const auto& [line, ref] : classes[c]) {
            out.forward.push_back(line);
            bool missing = false;
            const auto slot = onDuty(w, today, now, c == 1 || c == 3, ref, missing);
            if (missing)
                missingLines.push_back(line);
            bool reached = false;
            for (int p = 0; slot && p < 3; ++p)
                reached = reached || w.weeks.at(slot->week).cells[21 * p + 3 * (slot->day - 1) + slot->block] != 0;
            if (!reached && (out.unreached.empty() || out.unreached.back() != line))
                out.unreached.push_back(line);
            if (!slot)
                continue;
            for (int p = 0; p < 3; ++p) {
                const long r =
                    w.weeks.at(slot->week).cells[21 * p + 3 * (slot->day - 1) + slot->block];
                if (r == 0)
                    continue;
                auto it = out.dispatches.begin();
                while (it != out.dispatches.end() && it->first != r)
                    ++it;
                if (it == out.dispatches.end())
                    it = out.dispatches.insert(out.dispatches.end(), {r, {}});
                if (it->second.empty() || it->second.back() != line)
                    it->second.push_back(line);
            }
        }
    }
    // A line whose schedule is missing is booked like a line that is not forwarded.
    for (const Line& l : lines)
        for (long m : missingLines)
            if (l.id == m)
                keep(l);
    std::sort(out.forward.begin(), out.forward.end());
    out.forward.erase(std::unique(out.forward.begin(), out.forward.end()), out.forward.end());
    std::sort(out.unreached.begin(), out.unreached.end());
    out.unreached.erase(std::unique(out.unreached.begin(), out.unreached.end()), out.unreached.end());
    return out;
}

// The escalation schedule as set: a year schedule when `yearRef` is not 0,
// else the week schedule `weekRef`; `deleted` when that schedule was deleted.
struct EscalationSchedule
{
    long weekRef = 0, yearRef = 0;
    bool deleted = false;
};

// Who an escalation at this moment goes to: everyone on duty in the
// escalation schedule, each once in cell order, except those the report
// already went to.
inline std::vector<long> escalationRecipients(const World& w, std::chrono::sys_days today, Clock now,
                                              const EscalationSchedule& e, const std::vector<long>& told)
{
    std::vector<long> out;
    const long ref = e.yearRef != 0 ? e.yearRef : e.weekRef;
    if (ref == 0 || e.deleted)
        return out;
    bool missing = false;
    const auto slot = onDuty(w, today, now, e.yearRef != 0, ref, missing);
    if (!slot)
        return out;
    for (int p = 0; p < 3; ++p) {
        const long r = w.weeks.at(slot->week).cells[21 * p + 3 * (slot->day - 1) + slot->block];
        if (r != 0 && std::find(out.begin(), out.end(), r) == out.end() &&
            std::find(told.begin(), told.end(), r) == told.end())
            out.push_back(r);
    }
    return out;
}

} // namespace taviro::model
