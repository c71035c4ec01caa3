#pragma once

// Scan-engine parameter items as they travel inside the engine's packets: a parameter number
// followed by the value bytes, in some forms preceded by a type marker and a length. Internal to
// the library.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "orvanerfid/core/Bytes.h"

namespace orvane {

// One parameter item.
class ParamData {
  public:
    explicit ParamData(int64_t number, Bytes data = {}, int64_t offset = 0)
        : number(number), data(std::move(data)), offset(offset) {}

    int64_t number;  // the engine's parameter number
    Bytes data;      // the value bytes, without marker, number or length
    int64_t offset;  // the 16-bit offset of an item read in the multi-packet form, else 0

    // "ParamData { number = 5, data = [65, 66, 67] }".
    std::string description() const;

    bool operator==(const ParamData&) const = default;
};

// Writes and reads parameter items. Stateless: any thread, any number at once.
class ParamDataCodec {
  public:
    // The bytes of one item for a parameter-write packet: the number (ParamNumberCodec) and the
    // data unchanged; the two word parameters (579 and 580) are preceded by the marker 0xF4.
    // The caller supplies exactly the value bytes. A number that has no wire form or is no Zebra
    // parameter throws ReaderException 0x5002 "Unknown parameter number - <number>".
    static Bytes encode(const ParamData& paramData);

    // Reads one item from the start of `data` (any of the forms byte, string, word, array and
    // multi-packet); bytes after it are ignored. Data that ends before a byte the item needs
    // throws ReaderException 0x5003 "Invalid data length". Logs each step at TRACE, without tag.
    static ParamData decode(ByteView data);
    // As decode(data), and `length` is set to the item's byte count on the wire, marker and
    // length fields included: a walk over several items advances by it.
    static ParamData decode(ByteView data, std::size_t& length);

    // The lists concatenated in order.
    static Bytes joinBytes(const std::vector<Bytes>& lists);
};

// Items keyed by parameter number; iterating yields the items (in ascending number order,
// though callers may rely on no order).
class ParamDataCollection {
  public:
    using Map = std::map<int64_t, ParamData>;

    // Walks the map's items.
    class const_iterator {
      public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = ParamData;
        using difference_type = std::ptrdiff_t;
        using pointer = const ParamData*;
        using reference = const ParamData&;

        const_iterator() = default;
        explicit const_iterator(Map::const_iterator at) : at_(at) {}
        reference operator*() const { return at_->second; }
        pointer operator->() const { return &at_->second; }
        const_iterator& operator++() {
            ++at_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++at_;
            return before;
        }
        bool operator==(const const_iterator&) const = default;

      private:
        Map::const_iterator at_;
    };

    Map paramDataMap;

    const_iterator begin() const { return const_iterator(paramDataMap.begin()); }
    const_iterator end() const { return const_iterator(paramDataMap.end()); }
};

// Parameter numbers; iterating yields them in list order.
class ParamNumberCollection {
  public:
    std::vector<int64_t> paramNumbers;

    auto begin() const { return paramNumbers.begin(); }
    auto end() const { return paramNumbers.end(); }
};

}  // namespace orvane
