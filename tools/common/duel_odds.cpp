// The odds of a duel.
//
// The player attacks on odd turns and defends on even ones, and every turn
// hits with the same chance q. So the computer falls after X of the player's
// attacks, where X counts the trials up to the PC_health-th success, and the
// player falls after Y of the computer's attacks, Y counting up to the
// player_health-th: two independent negative binomial numbers. Attack k is
// turn 2k - 1 and defence k is turn 2k, so the player wins when X <= Y, and
// the duel lasts min(2X - 1, 2Y) turns.
#include "common/duel_odds.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr long long kLargestHealth = 2000000;

// P(N >= k) for k = 0 .. limit, N counting Bernoulli(q) trials up to the
// `successes`-th success.
std::vector<double> AtLeast(long long successes, double q, long long limit) {
  std::vector<double> at_least(static_cast<size_t>(limit) + 2, 0.0);
  double log_q = std::log(q);
  double log_miss = std::log1p(-q);
  double below = 0.0;  // P(N < k)
  for (long long k = 0; k <= limit + 1; ++k) {
    at_least[static_cast<size_t>(k)] = std::fmax(0.0, 1.0 - below);
    if (k >= successes) {
      // P(N = k) = C(k - 1, successes - 1) q^successes (1 - q)^(k - successes)
      double log_p = std::lgamma(static_cast<double>(k)) -
                     std::lgamma(static_cast<double>(successes)) -
                     std::lgamma(static_cast<double>(k - successes + 1)) +
                     static_cast<double>(successes) * log_q +
                     static_cast<double>(k - successes) * log_miss;
      below += std::exp(log_p);
    }
  }
  return at_least;
}

}  // namespace

DuelOdds ComputeDuelOdds(long long player_health, long long PC_health, long long moves) {
  if (player_health < 0) player_health = 0;
  if (PC_health < 0) PC_health = 0;
  // The outcome comes at once, without a turn, when a health value is 0.
  if (PC_health == 0) return DuelOdds{true, 1.0, 0.0};
  if (player_health == 0) return DuelOdds{true, 0.0, 0.0};
  if (moves < 2 || player_health > kLargestHealth || PC_health > kLargestHealth) {
    return DuelOdds{false, 0.0, 0.0};
  }
  double q = 1.0 - 1.0 / static_cast<double>(moves);
  // Far enough into the tails that what is left is below double precision.
  auto limit_for = [q](long long successes) {
    double mean = static_cast<double>(successes) / q;
    double spread = std::sqrt(static_cast<double>(successes) * (1.0 - q)) / q;
    return static_cast<long long>(mean + 40.0 * spread + 60.0 / q);
  };
  long long limit = std::max(limit_for(PC_health), limit_for(player_health));
  std::vector<double> x_at_least = AtLeast(PC_health, q, limit);
  std::vector<double> y_at_least = AtLeast(player_health, q, limit);

  // P(win) = sum over x of P(X = x) P(Y >= x).
  double wins = 0.0;
  for (long long x = 1; x <= limit; ++x) {
    double p_x = x_at_least[static_cast<size_t>(x)] - x_at_least[static_cast<size_t>(x + 1)];
    wins += p_x * y_at_least[static_cast<size_t>(x)];
  }
  // E[T] = sum over t of P(T > t) = P(2X - 1 > t) P(2Y > t).
  double turns = 0.0;
  for (long long t = 0; t <= 2 * limit; ++t) {
    size_t x = static_cast<size_t>((t + 1) / 2 + 1);
    size_t y = static_cast<size_t>(t / 2 + 1);
    if (x > static_cast<size_t>(limit) || y > static_cast<size_t>(limit)) break;
    turns += x_at_least[x] * y_at_least[y];
  }
  return DuelOdds{true, wins, turns};
}

std::string DescribeOdds(const DuelOdds& odds) {
  if (!odds.computed) return "not computed (fewer than 2 moves, or health beyond 2,000,000)";
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "the player wins %.2f%% of duels, in %.4f turns on average",
                100.0 * odds.player_wins, odds.expected_turns);
  return buffer;
}
