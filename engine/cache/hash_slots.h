#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace qv {

// Numbers found again by a hash of a text they stand for, in one flat table of (number, hash
// tag) slots: no node per entry and no second copy of the texts. A lookup visits the numbers
// whose hash tag matches and asks the caller whether each one's text is the one sought.
class HashSlots {
  public:
    explicit HashSlots(std::size_t expected = 0) : slots_(capacityFor(expected)) {}

    bool empty() const { return used_ == 0; }

    // Whether the next insert needs grow() first: the table is kept at most half full.
    bool full() const { return 2 * (used_ + 1) > slots_.size(); }

    // Doubles the table; `hashOf(number)` gives the hash of each number inserted so far.
    template <class HashOf>
    void grow(HashOf&& hashOf) {
        std::vector<Slot> old(slots_.size() * 2);
        old.swap(slots_);
        for (const Slot& s : old)
            if (s.number != 0) place(s, hashOf(s.number - 1));
    }

    // Not full(): a number not inserted before.
    void insert(std::uint64_t hash, std::uint32_t number) {
        place({number + 1, tagOf(hash)}, hash);
        ++used_;
    }

    // Starts loading the slot where a lookup of `hash` begins.
    void prefetch(std::uint64_t hash) const {
        if (!slots_.empty()) __builtin_prefetch(slots_.data() + (hash & (slots_.size() - 1)));
    }

    // The first number of `hash` that `matches` accepts.
    template <class Matches>
    std::optional<std::uint32_t> find(std::uint64_t hash, Matches&& matches) const {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t slot = hash & mask; slots_[slot].number != 0; slot = (slot + 1) & mask)
            if (slots_[slot].tag == tagOf(hash) && matches(slots_[slot].number - 1))
                return slots_[slot].number - 1;
        return std::nullopt;
    }

  private:
    struct Slot {
        std::uint32_t number = 0;  // the number + 1; 0 is an empty slot
        std::uint32_t tag = 0;     // the hash's high bits
    };
    static std::uint32_t tagOf(std::uint64_t hash) {
        return static_cast<std::uint32_t>(hash >> 32);
    }
    static std::size_t capacityFor(std::size_t count) {
        std::size_t size = 16;
        while (size < 2 * count) size *= 2;
        return size;
    }
    void place(Slot s, std::uint64_t hash) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t slot = hash & mask;
        while (slots_[slot].number != 0) slot = (slot + 1) & mask;
        slots_[slot] = s;
    }

    std::vector<Slot> slots_;
    std::size_t used_ = 0;
};

}  // namespace qv
