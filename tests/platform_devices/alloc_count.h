// How many times operator new has run in this test program so far.
#pragma once

long allocation_count();
