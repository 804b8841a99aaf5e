// The history of the user's own senders: the organizational domains that
// mail read PASS from, each with the first and the last local date it was
// recorded on and on how many dates, kept as text in a file beside the
// module; and what the trust lines add after a From domain by it: a domain
// never recorded, or first recorded this week, is a new sender, and a new
// one made to look like a domain the user knows says which.
//
// The file, every line LF-ended:
//   # Quillmark senders 1 since YYYY-MM-DD
//   DOMAIN FIRST LAST DAYS
//   ...
// sorted by domain: lower-case A-labels, single blanks, DAYS a decimal
// count. Reading takes lines in any order, and what a text editor leaves
// (KeptLines); see read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "domains/public_suffixes.h"
#include "keptfile/kept_text.h"
#include "keptfile/local_dates.h"
#include "senders/hash_slots.h"
#include "senders/skeleton.h"

// What the trust lines show after a From domain.
struct SenderNote {
    enum class Kind : std::uint8_t {
        kNone,
        kNewSender,  // " (new sender)"
        kLooksLike,  // " (looks like KNOWN)"
    };
    Kind kind = Kind::kNone;
    std::string_view known;  // for kLooksLike: the known domain, valid until the history changes
};

// Whether domain is a host name of lower-case labels.
bool isLowerHostName(std::string_view domain);
// Whether the history can hold domain: a host name of lower-case labels
// that is its own organizational domain, as the history holds no other.
bool isStorableDomain(std::string_view domain);

// A domain's line of the history.
struct SenderRecord {
    Day first = 0;
    Day last = 0;
    std::uint32_t days = 0;  // on how many dates it was recorded
};

// A line of the history's file: a domain and its record.
struct SenderLine {
    std::string_view domain;
    SenderRecord record;
};

class SenderHistory final : public KeptText {
public:
    static constexpr std::size_t kMaxDomains = 50000;
    // Recorded on this many dates, a domain is known: one to look like.
    static constexpr std::uint32_t kKnownDays = 3;
    // First recorded this many days ago or later, today the first, a domain is new.
    static constexpr Day kNewDays = 7;
    // Younger than this many days, the history tells no domain new: it is still learning them.
    static constexpr Day kLearningDays = 14;
    // The longest line read, its LF counted; a longer one is damage.
    static constexpr std::size_t kMaxLineLength = 1024;

    // An empty history begun on since (held between kFirstDay and
    // kLastDay), keeping at most capacity domains (1 to kMaxDomains).
    explicit SenderHistory(Day since, std::size_t capacity = kMaxDomains);
    // Made once, where the indexes are, rather than wherever a history is
    // replaced: they are many. A history moved into is made empty first,
    // which takes no memory, then assigned.
    SenderHistory(SenderHistory&& other) noexcept;
    SenderHistory& operator=(SenderHistory&&) noexcept;
    ~SenderHistory();

    // Replaces the history with the one file holds and returns true; returns
    // false, keeping the history as it was, when file is no history: no
    // first line "# Quillmark senders 1 since YYYY-MM-DD", a line that does
    // not parse (a date that does not exist, FIRST after LAST, DAYS zero,
    // signed, with a leading zero or more than the dates between FIRST and
    // LAST, a domain that is no lower-case host name, a blank too many or at
    // its start), a NUL or a line longer than kMaxLineLength. What a text
    // editor leaves is read past (KeptLines). Dates later than today are
    // read as today (since, FIRST and LAST, and DAYS no more than that
    // leaves). A domain below its organizational domain (which a newer list
    // of public suffixes can make of a line) is read as that domain, and the
    // lines of one domain are merged as merge does. Of more lines than its
    // capacity it keeps those of the latest LAST (of one LAST, the domains
    // last in byte order). It counts as changed when what it keeps differs
    // from the file's lines. Linear in file but for sorting its lines.
    // Throws std::bad_alloc.
    bool read(std::string_view file, Day today) override;
    // The same, with no date held back: as a file is read with a clock
    // beyond every date.
    bool read(std::string_view file) { return read(file, kLastDay); }

    // Merges in the history file holds, read as read does, and returns true;
    // false, the history as it was, when file is no history. Of a domain in
    // both, the record keeps the earlier FIRST, the later LAST and the larger
    // DAYS; a domain in one only is kept as it is, and since is the earlier.
    // Past capacity, as read. Changed after it when it holds what file does
    // not. Linear in both, but for sorting; throws std::bad_alloc.
    bool merge(std::string_view file, Day today) override;

    // The file's bytes: the first line, then a line per domain in byte order.
    std::string write() const override;

    // Records that mail from organization (an organizational domain,
    // lower-case A-labels) read PASS today: a new domain's first and last
    // date are today; a domain last recorded before today is recorded
    // today, on one date more; one recorded today or later is left. Past
    // capacity, the domain recorded longest ago goes (after reading, the
    // earliest LAST, and of one LAST the first in byte order). Does nothing
    // for a name that is no lower-case host name or a day outside kFirstDay
    // to kLastDay, which the file could not hold. Time independent of the
    // history's size, but when a table doubles as it grows or the evicted
    // domains' bytes are given back, each after as many recorded; throws
    // std::bad_alloc, leaving the history as it was.
    void record(std::string_view organization, Day today);

    // What the trust lines add after a From domain from today, by its
    // organizational domain organization, which the history can hold (see
    // isStorableDomain): looks like the known domain it resembles by the
    // look-alike rules (see lookAlike), until it is known itself; else new
    // sender when it was first recorded within kNewDays or never and the
    // history has learned for kLearningDays; else nothing (nothing, too, for
    // a name that is no lower-case host name). from is the From domain as
    // shown, at or below organization; its bytes are read for the known
    // names it holds, whatever they are. Time linear in from and
    // independent of the history's size. The last name and day asked are
    // remembered with their note until the history changes: asked again,
    // the note costs one comparison.
    SenderNote noteFor(std::string_view organization, std::string_view from, Day today) const noexcept;
    // The same for from's organizational domain, when the history can hold it.
    SenderNote noteFor(std::string_view from, Day today) const noexcept {
        return noteFor(organizationalDomain(from), from, today);
    }

    // Whether the history changed since it was read, begun or saved.
    bool changed() const override { return changed_; }
    void markSaved() override { changed_ = false; }

    Day since() const { return since_; }
    std::size_t size() const { return entries_.size(); }
    // domain's record, or null; valid until the history changes.
    const SenderRecord* find(std::string_view domain) const noexcept;

private:
    // Becomes the history of lines, one a domain, in byte order, begun on
    // since; a domain below its organizational domain is read as that
    // domain. False for a line the history cannot hold.
    bool build(Day since, std::vector<SenderLine>& lines, bool changed);
    enum class Placed : std::uint8_t { kPlaced, kBelowItsDomain, kRefused };
    // build's pass: the history, unless a domain is below its
    // organizational domain (nothing placed then) or refused.
    Placed place(Day since, const std::vector<SenderLine>& lines, bool changed);
    // The history's lines in byte order, as write() writes them.
    std::vector<SenderLine> linesByDomain() const;

    struct Links {
        std::uint32_t previous = HashSlots::kNone;
        std::uint32_t next = HashSlots::kNone;
    };
    // The groups of known entries the look-alike rules find: of one
    // skeleton, of one name's skeleton, of one name's letters (its
    // skeleton without hyphens, 6 characters or more), of one name's slip
    // text (see slipTextOf, 6 characters or more).
    enum Kind : std::uint8_t { kSkeleton, kName, kLetters, kSlipName, kKinds };
    // An entry's place in a group: the group runs from its best entry to
    // its worst, by ranks (see better), so that its head is the one a
    // note names and no lookup walks it.
    struct Member {
        std::uint32_t previous = HashSlots::kNone;
        std::uint32_t next = HashSlots::kNone;
        std::uint32_t run = HashSlots::kNone;  // the run of the group's entries of its dates
    };
    struct Entry {
        std::uint32_t at = 0;  // where the domain's bytes begin in pool_
        SenderRecord record;
        Links recency;  // from the entry recorded longest ago to the latest
        std::uint32_t group[kKinds] = {HashSlots::kNone, HashSlots::kNone, HashSlots::kNone, HashSlots::kNone};
        Member member[kKinds];
        std::uint8_t size = 0;        // of the domain, at most kLongestDnsName
        std::uint8_t nameStart = 0;   // the label before the public suffix
        std::uint8_t nameLength = 0;  // 0 for a public suffix
    };
    struct Group {
        std::uint32_t head = HashSlots::kNone;
        std::uint32_t tail = HashSlots::kNone;
        std::uint64_t hash = 0;  // of its text, its key in its table
        Kind kind = kSkeleton;
        bool pairs = false;  // a name's, in slips_ with two left out too
    };
    // A group's entries of one count of dates, one after another.
    struct Run {
        std::uint32_t days = 0;
        std::uint32_t first = HashSlots::kNone;
        std::uint32_t last = HashSlots::kNone;
    };

    // What placing an entry takes, made before it is placed.
    struct EntryKeys {
        std::uint64_t domain = 0;  // hashOf the domain
        std::uint8_t nameStart = 0;
        std::uint8_t nameLength = 0;
        bool organizational = false;  // the domain is its own organizational domain
    };
    static EntryKeys keysOf(std::string_view domain, bool known);

    // The entry of domain, whose hashOf is hash, or kNone.
    std::uint32_t findEntry(std::string_view domain, std::uint64_t hash) const;
    // Makes entries_[at] that of the domain whose bytes pool_ holds from
    // poolAt, in the recency list as the latest.
    void placeEntry(std::uint32_t at, std::uint32_t poolAt, std::size_t size, const EntryKeys& keys,
                    const SenderRecord& record);
    void appendRecent(std::uint32_t entry);
    void unlinkRecent(std::uint32_t entry);
    std::string_view domainOf(const Entry& entry) const { return {pool_.data() + entry.at, entry.size}; }
    std::string_view nameOf(const Entry& entry) const;
    // Makes room in pool_ for size bytes more, moving the domains together
    // when evicted ones hold more of it than those kept.
    void poolRoom(std::size_t size);

    // The look-alike indexes (sender_lookalikes.cpp), of known entries only.
    // Indexes every known entry, best first, after a read.
    void indexAllKnown();
    // entry was recorded on one date more: indexed when it just became
    // known, moved up its groups when it was.
    void knownDaysChanged(std::uint32_t entry);
    void unindexKnown(std::uint32_t entry);
    void indexKnown(std::uint32_t entry);
    // The text of entry of kind into out (room for kMaxSkeletonSize); its length, 0 for none.
    std::size_t textOf(const Entry& entry, Kind kind, char32_t* out) const;
    // The group of kind whose text is text, or kNone.
    std::uint32_t findGroup(Kind kind, const char32_t* text, std::size_t size, std::uint64_t hash) const;
    void joinGroup(std::uint32_t entry, Kind kind, const char32_t* text, std::size_t size);
    // Counts a group of entry's text that was added or is gone.
    void countGroup(std::uint32_t entry, Kind kind, std::uint32_t group, const char32_t* text, std::size_t size,
                    bool added);
    void leaveGroup(std::uint32_t entry, Kind kind);
    void moveUp(std::uint32_t entry, Kind kind);
    void linkBefore(std::uint32_t entry, Kind kind, std::uint32_t before);
    void unlink(std::uint32_t entry, Kind kind);
    std::uint32_t newRun(std::uint32_t days, std::uint32_t entry);
    // The keys of a name's slips (see slipKeys in sender_lookalikes.cpp), added or taken.
    void indexSlips(std::uint32_t group, const char32_t* name, std::size_t size, bool add);
    // Of two entries (or kNone), the one a note names.
    std::uint32_t better(std::uint32_t a, std::uint32_t b) const;
    std::uint32_t headOf(std::uint32_t group) const {
        return group == HashSlots::kNone ? HashSlots::kNone : groups_[group].head;
    }
    // The best known entry organization looks like, the From domain from
    // at or below it.
    std::uint32_t lookAlike(std::string_view organization, std::string_view from) const;
    std::uint32_t knownWithin(std::string_view from) const;
    std::uint32_t slipsFrom(const char32_t* name, std::size_t size, int slips) const;

    Day since_;
    std::size_t capacity_;
    bool changed_ = false;
    std::vector<Entry> entries_;
    // The domains' bytes, one after another: an evicted domain's stay until
    // they are more than those kept, or the next read.
    // A string, whose appending the C++ library holds already built.
    std::string pool_;
    std::size_t evictedBytes_ = 0;
    std::uint32_t oldest_ = HashSlots::kNone;  // the recency list's ends
    std::uint32_t newest_ = HashSlots::kNone;
    HashSlots domains_;  // every entry by its domain

    // A group left empty stays, unfound, until the next read: groups are
    // made as names become known, a few a day.
    std::vector<Group> groups_;
    std::vector<Run> runs_;
    std::vector<std::uint32_t> freeRuns_;
    HashSlots groupsByText_[kKinds];  // each group by the hash of its text
    // Each kSlipName group by the hashes of its text with one character
    // left out, and of 12 or more with two.
    HashSlots slips_;
    // While the indexes are made after a read, the keys of slips_
    // gathered here and filled in at once.
    std::vector<std::uint64_t>* gatheredSlips_ = nullptr;
    std::size_t pairKeys_ = 0;  // the keys of two left out, which are bounded
    // The keys of each length: a filter, counted as they are made (after a
    // read, keys past kMostNamesOfAKey stay counted, though not kept).
    std::uint32_t slipKeysOfLength_[64] = {};
    std::uint32_t slipNamesOfLength_[64] = {};  // kSlipName groups by their length
    // kLetters groups by the length of their text: the lengths a From
    // domain's letters are read for.
    std::uint32_t lettersOfLength_[kMaxLabelSkeletonSize + 1] = {};
    // Names of 5 characters or more whose letters are fewer than 6 stand as
    // whole words (kName groups), by their skeleton's length.
    std::uint32_t wordNamesOfLength_[kMaxLabelSkeletonSize + 1] = {};

    // The last note asked, kept until the history changes: a mail opened
    // again, or the next from one sender, asks the same.
    struct LastNote {
        std::uint8_t size = 0;  // of the name; 0 for none kept
        SenderNote::Kind kind = SenderNote::Kind::kNone;
        Day today = 0;
        std::uint32_t known = HashSlots::kNone;  // the entry of a look-alike's known domain
        char name[kLongestDnsName];
    };
    mutable LastNote lastNote_;
};
