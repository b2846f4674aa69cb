#pragma once
// The working document: the form as the form document saves it and the lists document completes
// it, in the working folder (app/globals.h) under the recommendation number.

#include <string>
#include <string_view>

namespace laurel::records {

// folder + "/" + the recommendation number + ".docx". The number comes from the database or from an
// imported package, so a path separator in it is replaced by "_": the working document always lies
// in the folder itself.
inline std::string WorkingDocumentPath(std::string_view folder, std::string_view askno) {
    std::string name(askno);
    for (char& c : name)
        if (c == '/' || c == '\\' || c == '\0') c = '_';
    return std::string(folder) + "/" + name + ".docx";
}

}  // namespace laurel::records
