#include "runtime/datawindow/datawindow_children.h"

#include <utility>

#include "runtime/datawindow/datawindow.h"
#include "runtime/text/text.h"

namespace rt::dw {

void ChildTables::Load(const CompiledObject& object, ErrorSink sink) {
    ++loads_;
    object_ = &object;
    sink_ = std::move(sink);
    children_.clear();
    children_.resize(object.def.columns.size());
    retrievedWith_.assign(object.def.columns.size(), nullptr);
}

DataWindow* ChildTables::Child(int c) {
    if (!object_ || !object_->ValidCol(c)) return nullptr;
    const ColumnDef& cd = object_->Column(c);
    if (cd.edit != EditStyle::DropDownDW || cd.dddwObject.empty()) return nullptr;
    auto& slot = children_[static_cast<std::size_t>(c)];
    if (!slot) {
        auto child = Inside::MakeChild(cd.dddwObject);
        if (!child) return nullptr;
        // A code table that cannot be read is the parent's database error: its handler hears it,
        // and only one message is said. The child lives inside the parent.
        child->dberror = [sink = sink_](long code, std::string_view text, std::string_view sql) {
            if (sink) sink(code, std::string(text), std::string(sql));
            return 1;
        };
        slot = std::move(child);
    }
    return slot.get();
}

void ChildTables::Retrieve(Transaction& t) {
    const std::uint64_t loads = loads_;
    for (int c = 0; object_ && c < object_->ColumnCount(); ++c) {
        DataWindow* child = Child(c);
        if (!child || retrievedWith_[static_cast<std::size_t>(c)] == &t) continue;
        child->SetTransObject(t);
        // The child's error handler may have run the application's, which may have set another
        // object, and with it other children: those are left for the next time.
        const bool read = child->Retrieve() >= 0;
        if (loads_ != loads) return;
        if (read) retrievedWith_[static_cast<std::size_t>(c)] = &t;
    }
}

ChildTables::Columns ChildTables::Of(int c) {
    Columns out;
    const DataWindow* child = Child(c);
    if (!child) return out;
    const ColumnDef& cd = object_->Column(c);
    const int display = Inside::Column(*child, cd.dddwDisplay);
    const int data = Inside::Column(*child, cd.dddwData);
    if (display < 0 || data < 0) return out;
    out.rows = &Inside::Rows(*child);
    out.display = static_cast<std::size_t>(display);
    out.data = static_cast<std::size_t>(data);
    return out;
}

std::optional<std::string> ChildTables::Display(int c, const Value& v) {
    const ColumnDef& cd = object_->Column(c);
    if (v.IsNull()) return std::nullopt;
    const std::string text = v.ToText();
    if (cd.edit == EditStyle::DropDownList) {
        const std::string* display = cd.CodeDisplay(text);
        return display ? std::optional<std::string>(*display) : std::nullopt;
    }
    const Columns cc = Of(c);
    if (!cc.rows) return std::nullopt;
    const std::string_view bare = WithoutTrailingBlanks(text);
    for (const Row& r : cc.rows->primary) {
        if (r.values[cc.data].ToText() == text) return r.values[cc.display].ToText();
    }
    for (const Row& r : cc.rows->primary) {
        if (WithoutTrailingBlanks(r.values[cc.data].ToText()) == bare) return r.values[cc.display].ToText();
    }
    return std::nullopt;
}

Reading ChildTables::Read(int c, std::string_view text) {
    if (text.empty()) return Reading::Accepted(Value());
    const Columns cc = Of(c);
    if (!cc.rows) return Reading::Refused("不是列表中的值");
    for (const Row& x : cc.rows->primary) {
        if (x.values[cc.display].ToText() == text) return Reading::Accepted(x.values[cc.data]);
    }
    for (const Row& x : cc.rows->primary) {
        if (x.values[cc.data].ToText() == text) return Reading::Accepted(x.values[cc.data]);
    }
    return Reading::Refused("不是列表中的值");
}

}  // namespace rt::dw
