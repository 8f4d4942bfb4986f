// Configuration holder of the script libraries. Panels keep one as a member;
// it carries no settings, so it is only constructed and destroyed.

#ifndef DREZ_HOST_DREZ_CONFIG_H_
#define DREZ_HOST_DREZ_CONFIG_H_

class drez_config {
 public:
  drez_config() = default;
  drez_config(const drez_config&) = default;
  drez_config& operator=(const drez_config&) = default;
  virtual ~drez_config() = default;
};

#endif  // DREZ_HOST_DREZ_CONFIG_H_
