#include "runtime/word/word.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "runtime/text/text.h"
#include "runtime/word/bookmarks.h"
#include "runtime/word/markup.h"
#include "runtime/word/package.h"
#include "runtime/word/protection.h"
#include "runtime/word/tables.h"

namespace rt::word {

namespace {

// ---- the document ------------------------------------------------------------------------------

// The document as the application drives it: the package it was read from, the bookmarks and the
// tables of its main part, and its protection.
class DocxDocument final : public Document {
  public:
    explicit DocxDocument(const std::string& path) : content_(std::make_unique<Content>(path)) {}

    void SetBookmarkText(std::string_view name, std::string_view text) override {
        Content& c = Open();
        const bool paragraphsJoined = c.bookmarks.SetText(name, text);
        if (paragraphsJoined) c.tables.Forget();
        c.package.Main().dirty = true;
    }

    bool HasBookmark(std::string_view name) const override { return Open().bookmarks.Has(name); }

    std::string BookmarkText(std::string_view name) const override { return Open().bookmarks.Text(name); }

    void SetCellText(int table, int row, int column, std::string_view text) override {
        Content& c = Open();
        c.tables.SetCellText(table, row, column, text);
        c.package.Main().dirty = true;
    }

    std::string CellText(int table, int row, int column) const override {
        return Open().tables.CellText(table, row, column);
    }

    int TableCount() const override { return Open().tables.Count(); }

    void Protect(int type, bool /*noReset: the engine keeps no form field results to reset*/,
                 std::string_view password) override {
        protection::Protect(Open().package, type, password);
    }

    void SaveAs(const std::string& path) override { Open().package.SaveAs(path); }

    void Close() override {
        Open();
        content_.reset();  // the content goes at once; the object lives on until the engine drops it
    }

    bool IsOpen() const { return content_ != nullptr; }

  private:
    struct Content {
        explicit Content(const std::string& path)
            : package(path),
              w(NamesOf(package)),
              body(BodyOf(package, w)),
              bookmarks(w, body, package.File()),
              tables(w, body, package.File()) {}

        static markup::Names NamesOf(package::Package& package) {
            return markup::Names(
                markup::PrefixFor(package.Xml(package.Main()).document_element(), markup::kWordNamespace));
        }

        static pugi::xml_node BodyOf(package::Package& package, const markup::Names& w) {
            pugi::xml_node root = package.Xml(package.Main()).document_element();
            pugi::xml_node body = root.child(w.body.c_str());
            if (std::string_view(root.name()) != w.Of("document") || !body)
                throw Error(package.File() + "不是Word文档");
            return body;
        }

        package::Package package;
        markup::Names w;
        pugi::xml_node body;
        bookmarks::Bookmarks bookmarks;
        tables::Tables tables;
    };

    Content& Open() const {
        if (!content_) throw Error("文档已关闭");
        return *content_;
    }

    std::unique_ptr<Content> content_;
};

// ---- the engine --------------------------------------------------------------------------------

// One per process, like the word processor an automation client attaches to: what one run leaves
// open or running, the next finds.
struct Engine {
    bool running = false;
    bool available = true;
    bool visible = false;
    std::vector<std::unique_ptr<DocxDocument>> documents;  // closed ones until the next add or quit
    DocxDocument* active = nullptr;
};

Engine& TheEngine() {
    static Engine engine;
    return engine;
}

bool KnownClass(std::string_view className) {
    return LowerAscii(className) == "word.application";
}

}  // namespace

// ---- Application -------------------------------------------------------------------------------

Application::Application() = default;

int Application::ConnectToObject(std::string_view file, std::string_view className) {
    if (!KnownClass(className)) return -2;
    if (!file.empty()) return -1;  // attaching through a document file is not offered
    if (!TheEngine().running) return -5;
    connected_ = true;
    return 0;
}

int Application::ConnectToNewObject(std::string_view className) {
    if (!KnownClass(className)) return -2;
    Engine& e = TheEngine();
    if (!e.running) {
        if (!e.available) return -3;
        e.running = true;
        e.visible = false;
    }
    connected_ = true;
    return 0;
}

int Application::DisconnectObject() {
    if (!connected_) return -1;
    connected_ = false;
    return 0;
}

namespace {
Engine& Require(bool connected) {
    if (!connected) throw Error("没有连接到文字处理引擎");
    Engine& e = TheEngine();
    if (!e.running) throw Error("文字处理引擎没有运行");
    return e;
}
}  // namespace

Document& Application::DocumentsAdd(const std::string& templatePath, bool /*newTemplate*/) {
    Engine& e = Require(connected_);
    auto doc = std::make_unique<DocxDocument>(templatePath);
    std::erase_if(e.documents, [](const std::unique_ptr<DocxDocument>& d) { return !d->IsOpen(); });
    e.documents.push_back(std::move(doc));
    e.active = e.documents.back().get();
    return *e.active;
}

Document& Application::ActiveDocument() {
    Engine& e = Require(connected_);
    if (e.active == nullptr || !e.active->IsOpen()) {
        e.active = nullptr;
        for (auto it = e.documents.rbegin(); it != e.documents.rend() && e.active == nullptr; ++it)
            if ((*it)->IsOpen()) e.active = it->get();
    }
    if (e.active == nullptr) throw Error("没有打开的文档");
    return *e.active;
}

void Application::SetVisible(bool on) {
    Require(connected_).visible = on;
}

bool Application::Visible() const {
    return Require(connected_).visible;
}

std::string Application::Version() const {
    Require(connected_);
    return "12.0";
}

void Application::Quit() {
    Engine& e = Require(connected_);
    e.documents.clear();
    e.active = nullptr;
    e.running = false;
    e.visible = false;
}

int Application::DocumentsCount() const {
    const Engine& e = Require(connected_);
    return static_cast<int>(
        std::count_if(e.documents.begin(), e.documents.end(),
                      [](const std::unique_ptr<DocxDocument>& d) { return d->IsOpen(); }));
}

void Application::SetEngineAvailable(bool available) {
    TheEngine().available = available;
}

}  // namespace rt::word
