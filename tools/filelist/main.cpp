#include <iostream>

#include "tools/filelist/file_access.h"
#include "tools/filelist/file_list_tool.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args = ReadArguments(argc, argv);
    return RunFileListTool(args, MakeFileListOperations(), std::cout, std::cerr);
}
