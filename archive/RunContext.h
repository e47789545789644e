#pragma once

namespace stowline {

class ProgressView;
class cmpZIP;

// What a backup or restore run is handed: where it shows its progress, and the zip component it
// packs and unpacks with, whose events its host passes on to that progress.
struct RunContext {
    ProgressView& progress;
    cmpZIP& zip;
};

} // namespace stowline
