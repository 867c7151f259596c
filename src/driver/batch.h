// Converting many files and folder trees in place from the window: the
// question that names them, the folder walk and the batch report.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kamvo {

class Converter;

// How many of the paths are files and how many folders; a path that is
// neither counts as nothing.
struct PathCount {
  int Files = 0;
  int Folders = 0;
};
PathCount CountPaths(const std::vector<std::string>& paths);

// The Russian words for a number of files and of folders, each with its
// leading blank, in Windows-1251: " файл", " файла", " файлов" and
// " директорию", " директории", " директорий".
std::string RussianFileWord(int n);
std::string RussianFolderWord(int n);

// The code names the question uses: "Auto" or the source's code (0 for
// automatic detection), and the target's code (RunOptions' code numbers).
std::string FromCodeName(int source);
std::string ToCodeName(int target);

// "Convert 3 file(s) and 1 folder(s)\r\nfrom Auto to Windows ?" or its
// Russian form, in Windows-1251.
std::string BatchQuestion(const PathCount& count, std::string_view fromName, std::string_view toName, bool english);

// The files below path in the order they are converted: path itself when it
// is a file; for a folder its entries sorted by name, a subfolder's files
// before the next entry. Links to folders inside the tree are not entered,
// so a loop of links cannot trap the walk. The whole tree is listed before
// anything is converted, so the backups and attachments a conversion writes
// are never visited. pump runs between folders.
std::vector<std::string> ListBatchFiles(const std::string& path, const std::function<void()>& pump = {});

// Converts path in place (a file, or every file below a folder) with the
// converter's Options; gives the report lines of all files in order.
// stop, when given, ends the walk before the next file (the program is
// closing); Stop in the window only breaks off the current file.
std::vector<std::string> ConvertFileOrDir(Converter& converter, const std::string& path,
                                          const std::function<bool()>& stop = {});

// Asks the question (the converter's reporter's Ask) and, after a yes,
// converts every path; the text buffer and the editor then hold the batch
// report and the attachment list is empty. False when nothing was asked
// (no paths) or the answer was no.
bool OpenMultiFiles(Converter& converter, const std::vector<std::string>& paths,
                    const std::function<bool()>& stop = {});

}  // namespace kamvo
