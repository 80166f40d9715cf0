#include "playlist/entry_store.h"

#include <QStringDecoder>
#include <algorithm>
#include <cstring>
#include <utility>

#include "playlist/front_coding.h"

namespace carvel {

namespace {

// The first byte of a coded entry.
constexpr char kUtf16 = 1;
constexpr char kHasLine = 2;

QByteArrayView viewOf(const std::vector<char>& bytes) {
    return {bytes.data(), static_cast<qsizetype>(bytes.size())};
}

QByteArrayView utf16Bytes(const QString& text) {
    return {reinterpret_cast<const char*>(text.utf16()), text.size() * 2};
}

}  // namespace

EntryStore::Kept EntryStore::Fields::kept() const {
    const QByteArrayView all = viewOf(bytes);
    return {all.first(static_cast<qsizetype>(titleSize)),
            all.sliced(static_cast<qsizetype>(titleSize), static_cast<qsizetype>(pathSize)),
            all.sliced(static_cast<qsizetype>(titleSize + pathSize)), utf16};
}

void EntryStore::Fields::assign(const Kept& kept) {
    titleSize = static_cast<size_t>(kept.title.size());
    pathSize = static_cast<size_t>(kept.path.size());
    bytes.resize(titleSize + pathSize + static_cast<size_t>(kept.line.size()));
    char* at = bytes.data();
    for (const QByteArrayView part : {kept.title, kept.path, kept.line}) {
        if (!part.isEmpty()) {
            std::memcpy(at, part.data(), static_cast<size_t>(part.size()));
            at += part.size();
        }
    }
    utf16 = kept.utf16;
}

namespace {

void appendEntry(std::vector<char>& out, const EntryStore::Kept& entry,
                 const EntryStore::Kept& previous) {
    const bool hasLine = !entry.line.isEmpty();
    const size_t bound = 1 + codedBound(entry.title) + codedBound(entry.path) +
                         (hasLine ? codedBound(entry.line) : 0);
    // Coded where it fits on the stack, and copied once: resizing the block for each entry would
    // clear bytes that are written over at once.
    char local[1024];
    std::vector<char> large(bound <= sizeof local ? 0 : bound);
    char* const start = large.empty() ? local : large.data();
    char* at = start;
    *at++ = static_cast<char>((entry.utf16 ? kUtf16 : 0) | (hasLine ? kHasLine : 0));
    at = writeCoded(at, entry.title, previous.title);
    at = writeCoded(at, entry.path, previous.path);
    if (hasLine) {
        at = writeCoded(at, entry.line, previous.line);
    }
    out.insert(out.end(), start, at);
}

}  // namespace

EntryStore::EntryStore(std::initializer_list<Entry> entries) {
    for (const Entry& entry : entries) {
        push_back(entry);
    }
}

EntryStore::EntryStore(const std::vector<Entry>& entries) {
    for (const Entry& entry : entries) {
        push_back(entry);
    }
}

EntryStore::EntryStore(EntryStore&& other) noexcept
    : blocks_(std::exchange(other.blocks_, {})),
      size_(std::exchange(other.size_, 0)),
      last_(std::exchange(other.last_, {})) {}

EntryStore& EntryStore::operator=(EntryStore&& other) noexcept {
    blocks_ = std::exchange(other.blocks_, {});
    size_ = std::exchange(other.size_, 0);
    last_ = std::exchange(other.last_, {});
    return *this;
}

QString EntryStore::text(QByteArrayView bytes, bool utf16) {
    if (utf16) {
        QString text(bytes.size() / 2, Qt::Uninitialized);
        if (!bytes.isEmpty()) {
            std::memcpy(text.data(), bytes.data(), static_cast<size_t>(text.size()) * 2);
        }
        return text;
    }
    // QString::fromUtf8 drops a leading byte-order mark; a text that begins with U+FEFF keeps it.
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        QStringDecoder keepMark(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                          QStringDecoder::Flag::ConvertInitialBom);
        return keepMark(bytes);
    }
    return QString::fromUtf8(bytes);
}

EntryStore::Entry EntryStore::entryOf(const Kept& kept) {
    return {text(kept.title, kept.utf16), text(kept.path, kept.utf16), kept.line.toByteArray()};
}

EntryStore::Fields EntryStore::fieldsOf(const Entry& entry) {
    Fields fields;
    if (!entry.title.isValidUtf16() || !entry.path.isValidUtf16()) {
        fields.assign({utf16Bytes(entry.title), utf16Bytes(entry.path), entry.line, true});
    } else {
        fields.assign({entry.title.toUtf8(), entry.path.toUtf8(), entry.line, false});
    }
    return fields;
}

EntryStore::Entry EntryStore::operator[](size_t index) const {
    return entryOf(Cursor(*this, index).kept());
}

void EntryStore::push_back(const Entry& entry) {
    appendKept(fieldsOf(entry).kept());
}

void EntryStore::appendUtf8(QByteArrayView title, QByteArrayView path) {
    appendKept({title, path, {}, false});
}

void EntryStore::appendKept(const Kept& kept) {
    if (blocks_.empty() || blocks_.back().count >= kBlockSize) {
        // Room for as much as the block before took, and a little more: neighbouring blocks code
        // to about the same size, so a block is mostly allocated once.
        size_t room = 0;
        if (!blocks_.empty()) {
            std::vector<char>& full = blocks_.back().bytes;
            room = full.size() + full.size() / 8;
            if (full.capacity() > room) {
                full.shrink_to_fit();
            }
        }
        blocks_.push_back({{}, size_, 0});
        blocks_.back().bytes.reserve(room);
        last_ = {};
    }
    Block& block = blocks_.back();
    appendEntry(block.bytes, kept, last_.kept());
    last_.assign(kept);
    ++block.count;
    ++size_;
}

void EntryStore::append(EntryStore&& entries) {
    if (empty()) {
        *this = std::move(entries);
        return;
    }
    // A block codes its first entry against nothing, so blocks move as they are.
    for (Block& block : entries.blocks_) {
        block.first = size_;
        size_ += block.count;
        blocks_.push_back(std::move(block));
    }
    last_ = std::move(entries.last_);
    entries.clear();
}

void EntryStore::insert(size_t index, const Entry& entry) {
    insertFields(index, fieldsOf(entry));
}

void EntryStore::insertFields(size_t index, Fields fields) {
    if (index > size_) {
        return;
    }
    if (index == size_) {
        appendKept(fields.kept());
        return;
    }
    const size_t block = blockOf(index);
    std::vector<Fields> entries = readBlock(block);
    entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(index - blocks_[block].first),
                   std::move(fields));
    ++size_;
    writeBlock(block, entries);
}

void EntryStore::erase(size_t index) {
    if (index >= size_) {
        return;
    }
    const size_t block = blockOf(index);
    std::vector<Fields> entries = readBlock(block);
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(index - blocks_[block].first));
    --size_;
    if (entries.empty()) {
        blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(block));
        renumberFrom(block);
        if (block == blocks_.size()) {
            refreshLast();
        }
        return;
    }
    writeBlock(block, entries);
}

void EntryStore::move(size_t from, size_t to) {
    if (from >= size_ || to >= size_ || from == to) {
        return;
    }
    const size_t block = blockOf(from);
    Fields moved = std::move(readBlock(block)[from - blocks_[block].first]);
    erase(from);
    insertFields(to, std::move(moved));
}

void EntryStore::clear() {
    *this = EntryStore();
}

std::optional<size_t> EntryStore::indexOfPath(const QStringList& paths) const {
    // UTF-8 and text are one to one for valid UTF-16, so kept bytes are compared as they are.
    std::vector<QByteArray> utf8;
    for (const QString& path : paths) {
        if (path.isValidUtf16()) {
            utf8.push_back(path.toUtf8());
        }
    }
    for (Cursor cursor(*this); !cursor.atEnd(); cursor.next()) {
        const Kept kept = cursor.kept();
        const bool found =
            kept.utf16 ? paths.contains(text(kept.path, true))
                       : std::any_of(utf8.begin(), utf8.end(),
                                     [&](const QByteArray& path) { return kept.path == path; });
        if (found) {
            return cursor.index();
        }
    }
    return std::nullopt;
}

size_t EntryStore::blockOf(size_t index) const {
    const auto after = std::upper_bound(blocks_.begin(), blocks_.end(), index,
                                        [](size_t i, const Block& b) { return i < b.first; });
    return static_cast<size_t>(after - blocks_.begin()) - 1;
}

std::vector<EntryStore::Fields> EntryStore::readBlock(size_t block) const {
    std::vector<Fields> entries;
    entries.reserve(blocks_[block].count);
    for (Cursor cursor(*this, blocks_[block].first);
         !cursor.atEnd() && entries.size() < blocks_[block].count; cursor.next()) {
        entries.emplace_back().assign(cursor.kept());
    }
    return entries;
}

void EntryStore::writeBlock(size_t block, const std::vector<Fields>& entries) {
    const bool last = block + 1 == blocks_.size();
    const auto code = [&entries](size_t begin, size_t end) {
        Block coded;
        const Fields none;
        for (size_t i = begin; i < end; ++i) {
            appendEntry(coded.bytes, entries[i].kept(),
                        (i == begin ? none : entries[i - 1]).kept());
        }
        coded.bytes.shrink_to_fit();
        coded.count = static_cast<uint32_t>(end - begin);
        return coded;
    };
    if (entries.size() > kLargestBlock) {
        const size_t half = entries.size() / 2;
        blocks_[block] = code(0, half);
        blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(block) + 1,
                       code(half, entries.size()));
    } else {
        blocks_[block] = code(0, entries.size());
    }
    renumberFrom(block);
    if (last) {
        last_ = entries.back();
    }
}

void EntryStore::renumberFrom(size_t block) {
    for (size_t b = block; b < blocks_.size(); ++b) {
        blocks_[b].first = b == 0 ? 0 : blocks_[b - 1].first + blocks_[b - 1].count;
    }
}

void EntryStore::refreshLast() {
    last_ = blocks_.empty() ? Fields{} : readBlock(blocks_.size() - 1).back();
}

EntryStore::Cursor::Cursor(const EntryStore& store, size_t index)
    : store_(&store), index_(std::min(index, store.size_)) {
    if (atEnd()) {
        return;
    }
    block_ = store.blockOf(index_);
    coded_ = store.blocks_[block_].bytes.data();
    for (size_t i = store.blocks_[block_].first; i <= index_; ++i) {
        readEntry();
    }
}

EntryStore::Kept EntryStore::Cursor::kept() const {
    return {viewOf(title_), viewOf(path_), viewOf(line_), utf16_};
}

void EntryStore::Cursor::next() {
    ++index_;
    if (atEnd()) {
        return;
    }
    const Block& block = store_->blocks_[block_];
    if (index_ == block.first + block.count) {
        ++block_;
        coded_ = store_->blocks_[block_].bytes.data();
        title_.clear();
        path_.clear();
        line_.clear();
    }
    readEntry();
}

void EntryStore::Cursor::readEntry() {
    const char flags = *coded_++;
    utf16_ = (flags & kUtf16) != 0;
    readCoded(coded_, title_, scratch_);
    readCoded(coded_, path_, scratch_);
    if ((flags & kHasLine) != 0) {
        readCoded(coded_, line_, scratch_);
    } else {
        line_.clear();
    }
}

}  // namespace carvel
