// Private to the generic object part of vorlib.
#pragma once

// Registers "vor_attr_offset" and "vor_attr_offset_array" in "nobox".
void vor_register_attribute_classes();
