#include "quenfa/stats/special_functions.hpp"

#include <boost/math/distributions/beta.hpp>
#include <boost/math/special_functions/trigamma.hpp>

namespace quenfa::stats {

namespace {

using NoThrowPolicy = boost::math::policies::policy<
    boost::math::policies::domain_error<boost::math::policies::ignore_error>,
    boost::math::policies::pole_error<boost::math::policies::ignore_error>,
    boost::math::policies::overflow_error<boost::math::policies::ignore_error>,
    boost::math::policies::evaluation_error<boost::math::policies::ignore_error>,
    boost::math::policies::promote_double<false>>;

}  // namespace

double trigamma(double x) {
  return boost::math::trigamma(x, NoThrowPolicy());
}

double beta_quantile(double a, double b, double p) {
  return boost::math::quantile(boost::math::beta_distribution<double, NoThrowPolicy>(a, b), p);
}

}  // namespace quenfa::stats
