// Placeholder unit for a module folder that has no sources yet.
namespace { [[maybe_unused]] int zentravEmptyModule = 0; }
