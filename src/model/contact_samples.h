#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
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
// Reading works like a const std::vector<uint8_t>; assigning, assign, resize
// and clear replace the samples; writing one element goes through a
// reference object that takes the own buffer at the moment it writes.
class ContactSamples {
  public:
    using Buffer = std::vector<uint8_t>;
    using value_type = uint8_t;
    using size_type = size_t;
    using const_iterator = const uint8_t*;
    using iterator = const_iterator;  // elements change only through operator[]

    // One writable element; reads see the current buffer, a write first
    // makes the buffer this copy's own.
    class Ref {
      public:
        operator uint8_t() const { return (*samples_->buffer_)[index_]; }
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
    ContactSamples(Buffer samples) : buffer_(std::make_shared<Buffer>(std::move(samples))) {}
    ContactSamples(std::initializer_list<uint8_t> samples) : ContactSamples(Buffer(samples)) {}

    ContactSamples& operator=(Buffer samples) {
        buffer_ = std::make_shared<Buffer>(std::move(samples));
        return *this;
    }
    ContactSamples& operator=(std::initializer_list<uint8_t> samples) {
        return *this = Buffer(samples);
    }

    size_t size() const { return buffer_ ? buffer_->size() : 0; }
    bool empty() const { return size() == 0; }
    const uint8_t* data() const { return buffer_ ? buffer_->data() : nullptr; }
    const_iterator begin() const { return data(); }
    const_iterator end() const { return data() + size(); }
    uint8_t operator[](size_t i) const { return (*buffer_)[i]; }
    Ref operator[](size_t i) { return Ref(this, i); }

    // The samples as the vector they are kept in (an empty one when none).
    const Buffer& vector() const { return buffer_ ? *buffer_ : emptyBuffer(); }
    operator const Buffer&() const { return vector(); }

    // The buffer itself; whoever holds it keeps it unchanged, since a later
    // write through any record copies first.
    std::shared_ptr<const Buffer> shared() const { return buffer_; }

    void assign(size_t n, uint8_t value) { buffer_ = std::make_shared<Buffer>(n, value); }
    template <class It>
    void assign(It first, It last) {
        buffer_ = std::make_shared<Buffer>(first, last);
    }
    void resize(size_t n, uint8_t value = 0) { own().resize(n, value); }
    void clear() { buffer_.reset(); }

    friend bool operator==(const ContactSamples& a, const ContactSamples& b) {
        return a.buffer_ == b.buffer_ || a.vector() == b.vector();
    }
    friend bool operator==(const ContactSamples& a, const Buffer& b) { return a.vector() == b; }

  private:
    static const Buffer& emptyBuffer() {
        static const Buffer empty;
        return empty;
    }

    // The buffer, copied first when another record still shares it. Records
    // cross threads only whole (a transfer hands its list over when it ends),
    // so the count seen here is not raced by another owner's copy.
    Buffer& own() {
        if (!buffer_) {
            buffer_ = std::make_shared<Buffer>();
        } else if (buffer_.use_count() != 1) {
            buffer_ = std::make_shared<Buffer>(*buffer_);
        }
        return *buffer_;
    }

    std::shared_ptr<Buffer> buffer_;
};

}  // namespace plm::model
