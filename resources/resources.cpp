// The resource target carries only embedded files (template database, translations, style sheet,
// pictures); this unit gives the static library something to hold them.
namespace tarnwick {
int resourcesAnchor() { return 0; }
} // namespace tarnwick
