#pragma once

#include <cstddef>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/name_compare.h"
#include "support/cx_exception.h"
#include "support/text_codec.h"

namespace plm::model {

// The children of one tree node, unique and sorted under compareNames.
// T is a node type with a public `std::string name` and a deep copy.
//
// Every position taken or returned is the child's index in name order.
// Children live in stable slots: a child's address does not change while
// other children are added or removed, and a removed child's slot is reused
// by the next insertion (most recently freed first), so removing or inserting
// never moves whole subtrees.
template <class T>
class NamedCollection {
  public:
    NamedCollection() = default;
    NamedCollection(const NamedCollection& other) { assign(other); }
    NamedCollection& operator=(const NamedCollection& other) {
        if (this != &other)
            assign(other);
        return *this;
    }
    NamedCollection(NamedCollection&&) noexcept = default;
    NamedCollection& operator=(NamedCollection&&) noexcept = default;

    int count() const { return static_cast<int>(order_.size()); }
    bool empty() const { return order_.empty(); }

    // The child at a sorted position; std::out_of_range outside 0..count-1.
    T& at(int position) { return *slots_[slotAt(position)]; }
    const T& at(int position) const { return *slots_[slotAt(position)]; }

    // Position of the child whose name compares equal, or -1.
    int find(std::string_view name) const {
        auto [found, position] = search(name);
        return found ? position : -1;
    }

    // The child with that name, or nullptr.
    T* get(std::string_view name) {
        int position = find(name);
        return position < 0 ? nullptr : &at(position);
    }
    const T* get(std::string_view name) const {
        int position = find(name);
        return position < 0 ? nullptr : &at(position);
    }

    // Position of the existing child with that name, or of a new empty child
    // inserted at its sorted position.
    int findOrAdd(std::string_view name) {
        auto [found, position] = search(name);
        if (found)
            return position;
        auto child = std::make_unique<T>();
        child->name = std::string(name);
        insertAt(position, std::move(child));
        return position;
    }

    // Destroys the child with its subtree and closes the gap.
    void removeAt(int position) {
        size_t slot = slotAt(position);
        slots_[slot].reset();
        freeSlots_.push_back(slot);
        order_.erase(order_.begin() + position);
    }

    // findOrAdd(node.name), then the child's whole content (name included)
    // becomes a copy of node. Returns the position.
    int insertNode(const T& node) { return insertNode(T(node)); }
    int insertNode(T&& node) {
        int position = findOrAdd(node.name);
        at(position) = std::move(node);
        return position;
    }

    void clear() {
        slots_.clear();
        freeSlots_.clear();
        order_.clear();
    }

    // Makes this collection a deep copy of other.
    void assign(const NamedCollection& other) {
        NamedCollection copy;
        copy.slots_.reserve(other.order_.size());
        copy.order_.reserve(other.order_.size());
        for (size_t slot : other.order_) {
            copy.order_.push_back(copy.slots_.size());
            copy.slots_.push_back(std::make_unique<T>(*other.slots_[slot]));
        }
        *this = std::move(copy);
    }

    // Gives the child at `position` the name newName and returns its new
    // position. Refused with CxException "指定の %s は既に存在しています\n%s"
    // (levelLabel, newName) when another child already has that name; nothing
    // changes then. A change that keeps the sorted position (letter case
    // only, for one) renames in place.
    int rename(int position, const std::string& newName, const std::string& levelLabel) {
        slotAt(position);  // std::out_of_range before anything else
        auto [found, target] = search(newName);
        if (found && target != position) {
            throw CxException(
                support::format(support::sj("指定の %s は既に存在しています\n%s").c_str(),
                                levelLabel.c_str(), newName.c_str()));
        }
        if (found || target == position || target == position + 1) {
            at(position).name = newName;
            return position;
        }
        T copy(at(position));
        copy.name = newName;
        removeAt(position);
        return insertNode(std::move(copy));
    }

    // Iteration in name order.
    template <class Node, class Coll>
    class Iter {
      public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = Node*;
        using reference = Node&;

        Iter() = default;
        Iter(Coll* coll, int position) : coll_(coll), position_(position) {}
        reference operator*() const { return coll_->at(position_); }
        pointer operator->() const { return &coll_->at(position_); }
        Iter& operator++() {
            ++position_;
            return *this;
        }
        Iter operator++(int) {
            Iter old = *this;
            ++position_;
            return old;
        }
        bool operator==(const Iter& other) const { return position_ == other.position_; }

      private:
        Coll* coll_ = nullptr;
        int position_ = 0;
    };
    using iterator = Iter<T, NamedCollection>;
    using const_iterator = Iter<const T, const NamedCollection>;

    iterator begin() { return iterator(this, 0); }
    iterator end() { return iterator(this, count()); }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, count()); }

  private:
    size_t slotAt(int position) const {
        if (position < 0 || position >= count()) {
            throw std::out_of_range("NamedCollection: invalid position");
        }
        return order_[static_cast<size_t>(position)];
    }

    // Halving search over the sorted positions: {true, position} when found,
    // else {false, insertion position}.
    std::pair<bool, int> search(std::string_view name) const {
        int lo = 0;
        int hi = count() - 1;
        while (lo <= hi) {
            int mid = (lo + hi) / 2;
            int c = compareNames(slots_[order_[static_cast<size_t>(mid)]]->name, name);
            if (c > 0) {
                hi = mid - 1;
            } else if (c < 0) {
                lo = mid + 1;
            } else {
                return {true, mid};
            }
        }
        return {false, lo};
    }

    void insertAt(int position, std::unique_ptr<T> child) {
        size_t slot;
        if (!freeSlots_.empty()) {
            slot = freeSlots_.back();
            freeSlots_.pop_back();
            slots_[slot] = std::move(child);
        } else {
            slot = slots_.size();
            slots_.push_back(std::move(child));
        }
        order_.insert(order_.begin() + position, slot);
    }

    std::vector<std::unique_ptr<T>> slots_;
    std::vector<size_t> freeSlots_;
    std::vector<size_t> order_;  // sorted position -> slot
};

}  // namespace plm::model
