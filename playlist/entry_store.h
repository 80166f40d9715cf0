#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <vector>

namespace carvel {

// One playlist entry: a title and a chart path.
struct PlaylistEntry {
    QString title;
    QString path;
    // The list file line this entry was read from, kept only when that line decoded as neither
    // UTF-8 nor CP932: it is written back unchanged rather than rewritten from a guess.
    QByteArray line{};
};

// The entries of a playlist, held compactly so that a list of hundreds of thousands of entries
// costs a few bytes an entry rather than a few hundred. The texts are kept in UTF-8, or in UTF-16
// when a title or path holds a lone surrogate, which UTF-8 cannot carry, so every entry reads back
// exactly as it was stored. Entries are coded in blocks of at most kLargestBlock, each against the
// entry before it in its block (front_coding.h).
//
// Reading entry i decodes its block up to it; reading in order (Cursor, the iterators) decodes
// each entry once. Inserting, removing or moving an entry rewrites one or two blocks.
class EntryStore {
  public:
    using Entry = PlaylistEntry;

    // An entry as kept. The views stay valid until what gave them changes.
    struct Kept {
        QByteArrayView title;
        QByteArrayView path;
        QByteArrayView line;
        bool utf16 = false;  // title and path are UTF-16 in host byte order, else UTF-8
    };

  private:
    // A copy of an entry as kept: title, path and line one after another in one buffer.
    struct Fields {
        std::vector<char> bytes;
        size_t titleSize = 0;
        size_t pathSize = 0;
        bool utf16 = false;
        Kept kept() const;
        void assign(const Kept& kept);
    };
    struct Block {
        std::vector<char> bytes;
        size_t first = 0;  // the index of its first entry
        uint32_t count = 0;
    };

  public:
    EntryStore() = default;
    EntryStore(std::initializer_list<Entry> entries);
    explicit EntryStore(const std::vector<Entry>& entries);
    EntryStore(const EntryStore&) = default;
    EntryStore& operator=(const EntryStore&) = default;
    EntryStore(EntryStore&& other) noexcept;
    EntryStore& operator=(EntryStore&& other) noexcept;
    ~EntryStore() = default;

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // index < size()
    Entry operator[](size_t index) const;
    Entry front() const { return (*this)[0]; }
    Entry back() const { return (*this)[size_ - 1]; }

    void push_back(const Entry& entry);
    void push_back(const Kept& entry) { appendKept(entry); }
    // Appends an entry from the bytes of its title and path, which must be valid UTF-8: the list
    // file reader's way, which decodes no text.
    void appendUtf8(QByteArrayView title, QByteArrayView path);
    void append(EntryStore&& entries);
    // index 0 .. size(); anything else is ignored, as by erase and move.
    void insert(size_t index, const Entry& entry);
    void erase(size_t index);
    // Moves the entry at `from` to index `to`, counted after the move.
    void move(size_t from, size_t to);
    void clear();

    // The index of the first entry whose path is one of paths.
    std::optional<size_t> indexOfPath(const QStringList& paths) const;

    // A title or path as kept, decoded.
    static QString text(QByteArrayView bytes, bool utf16);
    static Entry entryOf(const Kept& kept);

    // Reads the entries one after another from an index (size() for the end).
    class Cursor {
      public:
        explicit Cursor(const EntryStore& store, size_t index = 0);
        bool atEnd() const { return index_ >= store_->size_; }
        size_t index() const { return index_; }
        // The entry at index(); not at the end.
        Kept kept() const;
        void next();

      private:
        void readEntry();

        const EntryStore* store_;
        size_t index_;
        size_t block_ = 0;
        const char* coded_ = nullptr;  // the next entry's code in the block
        std::vector<char> title_;
        std::vector<char> path_;
        std::vector<char> line_;
        bool utf16_ = false;
        std::vector<char> scratch_;
    };

    class const_iterator {
      public:
        using iterator_category = std::input_iterator_tag;
        using value_type = Entry;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = Entry;

        explicit const_iterator(Cursor cursor) : cursor_(std::move(cursor)) {}
        Entry operator*() const { return entryOf(cursor_.kept()); }
        const_iterator& operator++() {
            cursor_.next();
            return *this;
        }
        bool operator==(const const_iterator& other) const {
            return cursor_.index() == other.cursor_.index();
        }

      private:
        Cursor cursor_;
    };
    const_iterator begin() const { return const_iterator(Cursor(*this)); }
    const_iterator end() const { return const_iterator(Cursor(*this, size_)); }

  private:
    // Appending fills a block up to kBlockSize entries; an insertion splits one that grows past
    // kLargestBlock.
    static constexpr uint32_t kBlockSize = 64;
    static constexpr uint32_t kLargestBlock = 2 * kBlockSize;

    static Fields fieldsOf(const Entry& entry);
    void appendKept(const Kept& kept);
    void insertFields(size_t index, Fields fields);
    size_t blockOf(size_t index) const;
    std::vector<Fields> readBlock(size_t block) const;
    void writeBlock(size_t block, const std::vector<Fields>& fields);
    void renumberFrom(size_t block);
    void refreshLast();

    std::vector<Block> blocks_;
    size_t size_ = 0;
    // The last entry, which the next appended entry is coded against.
    Fields last_;
};

}  // namespace carvel
