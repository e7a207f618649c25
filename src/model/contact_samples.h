#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <vector>

namespace plm::model {

// The contact samples of one record: byte i is sample i, bit n is channel
// n+1. Samples never change once a transfer is decoded or a record is read,
// so every copy of a record shares one buffer, and copying a whole tree (the
// working copy of the data management sheet) costs names and conditions,
// not samples. A copy that is written to first takes a buffer of its own, so
// a change never reaches another copy.
//
// Reading works like a const array of bytes; assigning, assign, resize and
// clear replace the samples; writing one element goes through a reference
// object that takes the own buffer at the moment it writes.
class ContactSamples {
  public:
    using value_type = uint8_t;
    using size_type = size_t;
    using const_iterator = const uint8_t*;
    using iterator = const_iterator;  // elements change only through operator[]

    // One writable element; reads see the current buffer, a write first
    // makes the buffer this copy's own.
    class Ref {
      public:
        operator uint8_t() const { return samples_->data_[index_]; }
        Ref& operator=(uint8_t value) {
            samples_->own()[index_] = value;
            return *this;
        }
        Ref& operator=(const Ref& other) { return *this = static_cast<uint8_t>(other); }
        Ref& operator|=(uint8_t bits) { return *this = static_cast<uint8_t>(*this | bits); }
        Ref& operator&=(uint8_t bits) { return *this = static_cast<uint8_t>(*this & bits); }
        Ref& operator^=(uint8_t bits) { return *this = static_cast<uint8_t>(*this ^ bits); }

      private:
        friend class ContactSamples;
        Ref(ContactSamples* samples, size_t index) : samples_(samples), index_(index) {}
        ContactSamples* samples_;
        size_t index_;
    };

    ContactSamples() = default;
    ContactSamples(const std::vector<uint8_t>& samples) { assign(samples.begin(), samples.end()); }
    ContactSamples(std::initializer_list<uint8_t> samples) {
        assign(samples.begin(), samples.end());
    }

    // n samples that `fill` writes before anything else sees them: a load
    // reads them from the file straight into their buffer, with no zeroing
    // and one allocation for the buffer and its count.
    template <class Fill>
    static ContactSamples filled(size_t n, Fill&& fill) {
        ContactSamples samples;
        fill(samples.allocate(n));
        return samples;
    }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // Copies that share their samples give the same pointer.
    const uint8_t* data() const { return data_.get(); }
    const_iterator begin() const { return data(); }
    const_iterator end() const { return data() + size(); }
    uint8_t operator[](size_t i) const { return data_[i]; }
    Ref operator[](size_t i) { return Ref(this, i); }

    void assign(size_t n, uint8_t value) { std::fill_n(allocate(n), n, value); }
    template <std::input_iterator It>
    void assign(It first, It last) {
        const auto n = static_cast<size_t>(std::distance(first, last));
        std::copy(first, last, allocate(n));
    }
    void resize(size_t n, uint8_t value = 0) {
        const std::shared_ptr<uint8_t[]> old = data_;
        const size_t kept = std::min(n, size_);
        uint8_t* out = allocate(n);
        std::copy_n(old.get(), kept, out);
        std::fill_n(out + kept, n - kept, value);
    }
    void clear() {
        data_.reset();
        size_ = 0;
    }

    friend bool operator==(const ContactSamples& a, const ContactSamples& b) {
        return a.size_ == b.size_ &&
               (a.data_ == b.data_ || std::equal(a.begin(), a.end(), b.begin()));
    }
    friend bool operator==(const ContactSamples& a, const std::vector<uint8_t>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

  private:
    // A new buffer of n samples, not yet written; none at all for n == 0.
    uint8_t* allocate(size_t n) {
        data_ = n ? std::make_shared_for_overwrite<uint8_t[]>(n) : nullptr;
        size_ = n;
        return data_.get();
    }

    // The buffer, copied first when another record still shares it. Records
    // cross threads only whole (a transfer hands its list over when it ends),
    // so the count seen here is not raced by another owner's copy.
    uint8_t* own() {
        if (data_.use_count() > 1) {
            const std::shared_ptr<uint8_t[]> shared = data_;
            std::copy_n(shared.get(), size_, allocate(size_));
        }
        return data_.get();
    }

    std::shared_ptr<uint8_t[]> data_;
    size_t size_ = 0;
};

}  // namespace plm::model
