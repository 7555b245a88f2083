// The files of a package on disk: an executable or volume read through the standard library,
// and the volumes that lie beside the first one.
#pragma once

#include <fstream>
#include <string>

#include "PkgVolumes.h"

class TFileSource : public TByteSource {
  public:
    /// Raises EPackageData when the file cannot be opened.
    explicit TFileSource(const std::string& path);
    uint64_t Size() const override { return Length; }
    bool ReadAt(uint64_t offset, void* buf, size_t n) override;
    const std::string& Path() const { return Name; }

  private:
    std::string Name;
    std::ifstream In;
    uint64_t Length = 0;
};

/// Volumes beside a file: "<path without extension>.<n>".
class TVolumeFiles : public TVolumeLocator {
  public:
    explicit TVolumeFiles(const std::string& firstPath);
    std::unique_ptr<TByteSource> Open(uint32_t n, std::string& name) override;
    /// The name of volume n.
    std::string NameOf(uint32_t n) const;
    /// The summed sizes of the volumes 2, 3, ... that exist, up to the first gap.
    uint64_t SizeOfFurtherVolumes() const;

  private:
    std::string First;
};
