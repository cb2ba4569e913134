// The host's own side of the runtime: what the shell (and tests) use to play
// the host around a loaded module. Modules never include this header.
//
// The host thread is whichever thread calls these functions; messages queued
// with defer-low and usurp-low run when it calls hox_host_run_queue.
#pragma once

#include "hoxapi.h"
#include "vorlib.h"

// ---------------------------------------------------------------- module

// Loads a module file and calls its ext_main. Returns 0 on success; on
// failure writes a reason into `err` (when given) and returns non-zero.
HOXAPI int hox_host_load_module(const char* path, char* err, long errsize);

// ---------------------------------------------------------------- output

enum t_hox_console_kind { HOX_CONSOLE_POST = 0, HOX_CONSOLE_ERROR = 1 };
// Receives every console line: the object it came from (null for none) and
// the text without a line end.
using t_hox_console_fn = void (*)(void* ctx, void* object, t_hox_console_kind kind, const char* text);
HOXAPI void hox_host_set_console(t_hox_console_fn fn, void* ctx);

// Receives every message sent out of an outlet: its owner, its position
// among the owner's outlets (from 0) and whether it is the dump outlet.
using t_hox_outlet_fn = void (*)(void* ctx, void* owner, long index, bool dump, t_symbol* s, long ac,
                                 t_atom* av);
HOXAPI void hox_host_set_outlet_sink(t_hox_outlet_fn fn, void* ctx);
// Marks an outlet as its owner's dump outlet (used by the box wrapper).
HOXAPI void hox_host_outlet_set_dump(t_outlet* o);

// The box that wraps an object (hox_vor_object_wrap_standard), or null.
HOXAPI void* hox_host_wrapping_box(void* x);
HOXAPI void hox_host_set_wrapping_box(void* x, void* box);

// ---------------------------------------------------------------- queue

// Runs queued messages until none is left; returns how many ran.
HOXAPI long hox_host_run_queue();
// Queues fn(self, s, ac, av) (the atoms are copied). With `usurp`, a waiting
// call of the same object and name is replaced instead.
HOXAPI void hox_host_defer(void* self, const t_fn* fn, t_symbol* s, long ac, t_atom* av, bool usurp);
// Drops every queued call for an object (it is being freed).
HOXAPI void hox_host_forget(void* self);

// ---------------------------------------------------------------- files and dialogs

HOXAPI void hox_host_set_default_folder(const char* dir);
HOXAPI const char* hox_host_default_folder();
// The folder path of a folder id (null when unknown); folders met through the
// save dialog get ids of their own.
HOXAPI const char* hox_host_folder_path(short id);
// Answers the next save dialog: a full path to save to, or null to cancel.
// Without an answer, a save dialog is cancelled.
HOXAPI void hox_host_answer_save_dialog(const char* fullpath);
HOXAPI void hox_host_set_main_window(bool present);

// ---------------------------------------------------------------- text of atoms

// Reads text as atoms, as the shell and attribute properties do: words
// separated by blanks; a word in double quotes is one symbol and may hold
// blanks (\" and \\ inside); an optional minus and digits is a long; a
// decimal number with a point or an exponent is a float; anything else a
// symbol. *av is allocated with sysmem_newptr (null when there are no atoms).
// Non-zero on an unterminated quote, with a reason in `err`.
HOXAPI t_hox_err hox_atoms_parse(const char* text, long* ac, t_atom** av, char* err, long errsize);
// Writes one atom as the shell prints it: a long in decimal, a float as %g,
// a symbol as its text, double-quoted (with \" and \\) when it is empty,
// holds a blank or a quote, or would read back as a number. Returns the
// length it needed (like snprintf).
HOXAPI long hox_atom_format(const t_atom* a, char* buf, long size);

// ---------------------------------------------------------------- forwarding

// Objects of class `c` pass every method and attribute they do not have
// themselves on to the object that target(self) returns (when not null).
HOXAPI t_hox_err hox_class_setforward(t_class* c, const t_fn* target);

// The adornment a class keeps as the template for its instances' wrapper
// (vor_class_addadornment stores it); null when it has none.
HOXAPI t_hox_err hox_class_set_adornment(t_class* c, t_object* adornment);
HOXAPI t_object* hox_class_adornment(t_class* c);

// ---------------------------------------------------------------- file usage

// A file-usage collector, as the host hands to "fileusage" methods.
HOXAPI void* hox_fileusage_new();
HOXAPI void hox_fileusage_free(void* w);
// One line per entry: "package NAME sub1 sub2 ..." or "file NAME".
HOXAPI long hox_fileusage_count(void* w);
HOXAPI const char* hox_fileusage_entry(void* w, long index);

// ---------------------------------------------------------------- introspection

HOXAPI long hox_class_attr_count(t_class* c);
HOXAPI t_object* hox_class_attr_at(t_class* c, long index);  // registration order, interface ones last
HOXAPI t_symbol* hox_attr_name(t_object* attr);
HOXAPI t_symbol* hox_attr_type(t_object* attr);
HOXAPI long hox_attr_flags(t_object* attr);
HOXAPI long hox_attr_length(t_object* attr);  // 1, or the array length
// A property's atoms (not a copy; valid while the attribute lives); HOX_EROR
// when the attribute has no such property.
HOXAPI t_hox_err hox_attr_property(t_object* attr, t_symbol* property, long* ac, t_atom** av);
// The type code of a method, or -1 when the class has none of that name.
HOXAPI long hox_class_method_type(t_class* c, t_symbol* name);
HOXAPI bool hox_class_has_typedwrapper(t_class* c, t_symbol* name);
HOXAPI long hox_class_method_count(t_class* c);
HOXAPI t_symbol* hox_class_method_at(t_class* c, long index);  // registration order

// Texture objects (class "vor_gl_video_texture"): the last submitted
// bitmap's geometry and format and how often it was drawn. HOX_EROR for
// other objects.
struct t_vor_texture_state {
    t_symbol* name;
    int32_t width, height, pitch;
    int32_t format;
    int64_t draws;
};
VORLIB t_hox_err vor_texture_state(void* texture, t_vor_texture_state* state);

// ---------------------------------------------------------------- card back end

// The capture cards the card back end serves (bm_grab_*), replacing any
// set before. Each card has display modes; ids begin with "BM-".
struct t_hox_card_mode {
    const char* name;
    int32_t width, height;
};
struct t_hox_card {
    const char* name;
    const char* id;
    const t_hox_card_mode* modes;
    long mode_count;
};
VORLIB void hox_host_set_cards(const t_hox_card* cards, long count);
// Card frames follow the clock: on the real clock an open card has a new
// frame every 1/30 s; on the manual clock only hox_host_cards_advance makes
// new frames (n of them, of which the last is shown).
VORLIB void hox_host_cards_manual_clock(bool manual);
VORLIB void hox_host_cards_advance(long n);
// A card that is open finds its input in display mode `mode`: the owner of
// every handle that has card `index` open is sent "format_changed" `mode`,
// as a card's own signal detection does.
VORLIB void hox_host_card_signal(long index, long mode);
