#pragma once
// Marks the declarations a shared libtracksmith exports; everything else in
// it is hidden (the libraries are built with hidden visibility).

#define TRACKSMITH_API __attribute__((visibility("default")))
