// The C++ library's string classes, instantiated in the program itself.
//
// The library ships each of them as one object file holding every member;
// one call to a member not inlined brought the whole file into the programs.
// Instantiated here, each member sits in a section of its own and the linker
// keeps only those the programs call. The code is the library's own, from
// its headers.
#include <string>

template class std::basic_string<char>;
template class std::basic_string<wchar_t>;
