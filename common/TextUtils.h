#pragma once
// Shared text functions (filled in with their implementation).
