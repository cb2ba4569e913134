// Registration of the matrix runtime's classes: "vor_matrix", the
// converters "vor_uyvy2ayuv" and "vor_ayuv2uyvy", and the texture class
// "vor_gl_video_texture". init.cpp calls these once when vorlib loads.
#pragma once

#include "vorlib.h"

void vor_matrix_class_init();
void vor_converter_classes_init();
void vor_texture_class_init();

// The registered "vor_matrix" class (null before vor_matrix_class_init).
t_class* vor_matrix_class();

// The matrix behind an object: the object itself when it is a vor_matrix,
// else what it answers to "getmatrix" when that is one; null otherwise.
t_object* vor_matrix_resolve(void* x);

// Element 0 of a list object (one answering "getindex"), or the object
// itself.
void* vor_list_first(void* x);
