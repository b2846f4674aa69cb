#pragma once
// The working document: the form as the form document saves it and the lists document completes
// it, in the working folder under the recommendation number.

#include <stdexcept>
#include <string>
#include <string_view>

#include "runtime/word.h"

namespace laurel::document {

// What the Print command says when a page of the recommendation could not be read while the
// document was being made (the database's own box has said why): nothing is handed over.
inline constexpr const char* kUnreadDocument = "读取推荐书数据失败，未生成文档！";

// Thrown by a document step when a page cannot be read: the step ends there, the working document
// goes, and the Print command reports kUnreadDocument.
class UnreadPage : public std::runtime_error {
  public:
    UnreadPage() : std::runtime_error(kUnreadDocument) {}
};

// The folder of the working document under the working folder: the program's own, emptied by the
// form document and removed by the lists document once the user has the copy.
inline constexpr const char* kDocumentFolder = "tmp_doc";

// folder + "/tmp_doc/" + the recommendation number + ".docx". The number comes from the database or
// from an imported package, so a path separator in it is replaced by "_": the working document
// always lies in the document folder itself.
inline std::string WorkingDocumentPath(std::string_view folder, std::string_view askno) {
    std::string name(askno);
    for (char& c : name)
        if (c == '/' || c == '\\' || c == '\0') c = '_';
    return std::string(folder) + "/" + kDocumentFolder + "/" + name + ".docx";
}

// Attaches to the running word-processing engine or starts one; when neither works, says so under
// "错误" with the engine's status and returns false.
bool Attach(rt::word::Application& word);

}  // namespace laurel::document
