// The C++ library's reference-counted string of its older interface,
// instantiated in the program itself, for the same reason as the strings in
// library_strings.cpp: the library's exception classes (logic_error and
// runtime_error hold their message in it) call a few of its members, and the
// library's object file would bring all of them.
#define _GLIBCXX_USE_CXX11_ABI 0
#include <string>

template class std::basic_string<char>;
