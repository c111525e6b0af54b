// Keeps the notifications library non-empty until its first component lands.
namespace notify_placeholder { int unused = 0; }
