#pragma once
// Copying a file to a place the user chose, and the working folders of the program's commands.

#include <functional>
#include <string>
#include <system_error>

namespace rt {

// Copies source over target: 1 copied, -1 the source cannot be read, -2 the target cannot be
// written. The copy is written beside the target and renamed over it, so a copy that fails leaves
// a file that was there whole. A replaced file keeps its permissions (a link keeps pointing where
// it did and its file is replaced); a new file gets those of the process's umask. Copying a file
// onto itself copies nothing and succeeds.
int FileCopy(const std::string& source, const std::string& target);
// The same; when the target cannot be written, `why` says why in words the user can act on
// (WriteFailureReason, or MissingFolderReason of the target's folder).
int FileCopy(const std::string& source, const std::string& target, std::string& why);

// Why a file could not be written, from the system's error, in words the user can act on:
// "没有写入权限", "磁盘空间不足" (a full disk or quota), "磁盘只读", "文件夹不存在", else
// "系统错误 " and the error's number.
std::string WriteFailureReason(const std::error_code& error);
// Why the folder to write in is not there. A folder that could not be made on a disk that takes
// no writes (the working folder of a program installed on one) is missing because of the disk,
// which the nearest folder above it that exists tells: "磁盘只读", else "文件夹不存在".
std::string MissingFolderReason(const std::string& folder);

// Creates the empty file `path`, which must not exist yet (a link in its place counts as there):
// 0 when it was made, else the system's error number (EEXIST: something was there).
int CreateEmptyFile(const std::string& path);

// True when both paths name the same existing file.
bool SameFile(const std::string& a, const std::string& b);

// A working folder is the program's own and never a way elsewhere: a link found in its place or
// inside it is removed itself, never followed, and nothing outside it is ever touched.
//
// Makes `path` an empty folder: a link in its place goes and a folder is made, a folder is emptied.
// False when that cannot be done (a file in its place, no permission).
bool ClearFolder(const std::string& path);
// Removes `path` with all it holds (a link in its place: the link); a file in its place stays.
void RemoveFolder(const std::string& path);

// A folder of this process's own in `parent` ("tmp_run." and a random tail), made on the first call
// and kept for the life of the process: marked as in use by it, so that no other running process
// is given it or tidies it away. Another copy of the program working in the same place has one of
// its own. "" when none can be made there.
std::string OwnFolder(const std::string& parent);
// Removes the folders that OwnFolder made for this process, with all they hold, when it is done
// with them (at its end).
void LeaveOwnFolders();
// Removes every such folder in `parent` that no running process uses any more (the process that
// made it was killed, or ended before it could remove it), with all it holds; a link in the place
// of one is removed itself, never followed.
void TidyOwnFolders(const std::string& parent);

// Runs `tidy` when no other running process uses `folder`, and from then on marks the folder as used
// by this process until it ends (a shared lock on the folder itself). What a running process keeps
// there is never tidied away under it. Returns whether `tidy` ran.
bool TidyUnused(const std::string& folder, const std::function<void()>& tidy);

}  // namespace rt
