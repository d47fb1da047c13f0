#pragma once
// Numbers go into a workbook through the C library's printf and strtod, whose decimal separator
// is the locale's. On Linux the window's toolkit takes on the user's locale when it starts, and
// a German or French one writes 1,5, which a spreadsheet cannot read. Held over an export, this
// gives the calling thread the C locale (the other threads keep theirs) and gives the thread its
// own back when it goes. Per OS.
namespace workbook {

class ClassicNumbers {
public:
    ClassicNumbers();
    ~ClassicNumbers();
    ClassicNumbers(const ClassicNumbers&) = delete;
    ClassicNumbers& operator=(const ClassicNumbers&) = delete;

private:
    void* FClassic = nullptr;
    void* FSaved = nullptr;
};

} // namespace workbook
