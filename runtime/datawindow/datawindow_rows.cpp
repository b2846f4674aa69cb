#include "runtime/datawindow/datawindow_rows.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <utility>

#include "runtime/datawindow/datawindow_object.h"

namespace rt::dw {

namespace {

// The value type that a column of this type holds once read.
ValueType Holds(ColType type) {
    switch (type) {
        case ColType::Char:
            return ValueType::String;
        case ColType::Date:
            return ValueType::Date;
        case ColType::Decimal:
            return ValueType::Decimal;
        case ColType::Long:
            return ValueType::Long;
        case ColType::Real:
            return ValueType::Real;
    }
    return ValueType::String;
}

}  // namespace

Value AsRead(ColType type, Value&& fetched, const std::string* storedAs, std::vector<StoredForm>& forms,
             std::size_t c) {
    if (fetched.IsNull()) return std::move(fetched);
    // A value already of the column's type is kept as it is: only its stored form can differ.
    std::string text;
    if (storedAs != nullptr)
        text = *storedAs;
    else if (fetched.Type() != Holds(type))
        text = fetched.ToText();
    const bool check = storedAs != nullptr || fetched.Type() != Holds(type);
    Value value = FromDatabase(type, std::move(fetched));
    if (check && value.ToText() != text) forms.push_back({c, std::move(text)});
    return value;
}

const std::string* Row::StoredAs(std::size_t c) const {
    for (const StoredForm& f : stored)
        if (f.column == c) return &f.text;
    return nullptr;
}

void Row::Store(std::size_t c, Value v) {
    if (originals.empty()) originals = values;
    if (modified.empty()) modified.assign(values.size(), 0);
    values[c] = std::move(v);
    modified[c] = 1;
    if (status == ItemStatus::New) status = ItemStatus::NewModified;
    if (status == ItemStatus::NotModified) status = ItemStatus::DataModified;
}

const std::vector<Row>& RowBuffers::Of(Buffer b) const {
    switch (b) {
        case Buffer::Primary:
            return primary;
        case Buffer::Filter:
            return filter;
        case Buffer::Delete:
            return deleted;
    }
    return primary;
}

const Row* RowBuffers::At(long r, Buffer b) const {
    const std::vector<Row>& rows = Of(b);
    if (r < 1 || r > Count(rows)) return nullptr;
    return &rows[static_cast<std::size_t>(r - 1)];
}

long RowBuffers::Find(std::uint64_t id, long hint) const {
    if (hint >= 1 && hint <= Count(primary) && primary[static_cast<std::size_t>(hint - 1)].id == id)
        return hint;
    for (std::size_t i = 0; i < primary.size(); ++i) {
        if (primary[i].id == id) return static_cast<long>(i) + 1;
    }
    return 0;
}

Row RowBuffers::Make(ItemStatus status, std::size_t columns) {
    Row r;
    r.id = nextId_++;
    r.status = status;
    r.values.resize(columns);
    return r;
}

Row RowBuffers::Read(std::vector<Value> values, std::vector<StoredForm> stored) {
    Row r;
    r.id = nextId_++;
    r.values = std::move(values);
    r.stored = std::move(stored);
    return r;
}

void RowBuffers::Remove(long r) {
    Row taken = std::move(primary[static_cast<std::size_t>(r - 1)]);
    primary.erase(primary.begin() + (r - 1));
    if (taken.status == ItemStatus::NotModified || taken.status == ItemStatus::DataModified) {
        taken.selected = false;
        deleted.push_back(std::move(taken));
    }
}

void RowBuffers::Clear() {
    primary.clear();
    filter.clear();
    deleted.clear();
}

long RowBuffers::ModifiedCount() const {
    long n = 0;
    for (const std::vector<Row>* buf : {&primary, &filter}) {
        for (const Row& x : *buf) {
            if (x.status == ItemStatus::DataModified || x.status == ItemStatus::NewModified) ++n;
        }
    }
    return n;
}

void RowBuffers::ResetFlags(const std::function<bool(const Row&)>& inserted) {
    for (std::vector<Row>* buf : {&primary, &filter}) {
        for (Row& x : *buf) {
            if (x.status == ItemStatus::NewModified && !inserted(x)) {
                x.status = ItemStatus::New;
            } else if (x.status != ItemStatus::New) {
                x.status = ItemStatus::NotModified;
            }
            // What was written is stored as the program writes it.
            std::erase_if(x.stored, [&x](const StoredForm& f) { return x.Modified(f.column); });
            x.originals.clear();
            x.modified.clear();
        }
    }
    deleted.clear();
}

namespace {

// A row's key as one text, typed, for finding rows by their key; `original`: as it was read.
std::string KeyText(const Row& x, const std::vector<int>& keys, bool original) {
    std::string out;
    for (int k : keys) {
        const auto c = static_cast<std::size_t>(k);
        const Value& v = original ? x.Original(c) : x.values[c];
        out += static_cast<char>('0' + static_cast<int>(v.Type()));
        out += v.ToText();
        out += '\0';
    }
    return out;
}

}  // namespace

bool RowBuffers::KeepEdits(std::vector<Row> fresh, const std::vector<int>& keys) {
    if (!filter.empty()) return false;
    std::unordered_map<std::string, std::size_t> byKey;
    if (!keys.empty()) {
        for (std::size_t i = 0; i < fresh.size(); ++i) byKey.emplace(KeyText(fresh[i], keys, false), i);
    }
    // The fresh row of a row of ours, by the key it was read with; -1 when none.
    std::vector<char> taken(fresh.size(), 0);
    auto find = [&](const Row& x) -> long {
        if (keys.empty()) return -1;
        auto it = byKey.find(KeyText(x, keys, true));
        return it == byKey.end() || taken[it->second] ? -1 : static_cast<long>(it->second);
    };

    // Rows deleted here that are still stored stay deleted, as they are stored now.
    std::vector<Row> stillDeleted;
    for (const Row& x : deleted) {
        const long at = find(x);
        if (at < 0) continue;
        taken[static_cast<std::size_t>(at)] = 1;
        stillDeleted.push_back(std::move(fresh[static_cast<std::size_t>(at)]));
    }

    // Changed rows take their changed items over what is stored now.
    std::vector<std::pair<std::size_t, Row>> added;  // new rows and their places
    for (std::size_t i = 0; i < primary.size(); ++i) {
        const Row& x = primary[i];
        if (x.status == ItemStatus::New || x.status == ItemStatus::NewModified) {
            added.emplace_back(i, x);
            continue;
        }
        const long at = find(x);
        if (at < 0) continue;
        Row& now = fresh[static_cast<std::size_t>(at)];
        now.id = x.id;
        now.selected = x.selected;
        if (x.status != ItemStatus::DataModified) continue;
        for (std::size_t c = 0; c < x.values.size() && c < now.values.size(); ++c) {
            if (x.Modified(c)) now.Store(c, x.values[c]);
        }
    }

    std::vector<Row> rows;
    rows.reserve(fresh.size() + added.size());
    for (std::size_t i = 0; i < fresh.size(); ++i) {
        if (!taken[i]) rows.push_back(std::move(fresh[i]));
    }
    for (auto& [at, x] : added) {
        rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(std::min(at, rows.size())), std::move(x));
    }
    primary = std::move(rows);
    deleted = std::move(stillDeleted);
    return true;
}

}  // namespace rt::dw
