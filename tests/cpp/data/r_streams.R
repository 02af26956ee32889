# Draws of R's own generators, one stream per line, for random/r_streams_test.cpp.
#
#   Rscript r_streams.R        > r_streams.txt   (the committed vectors)
#   Rscript r_streams.R live                      (the set the live test asks for)
#
# Line format: <kind> <seed> [<n> [<k>]] | <values...>
#   mt_unif         runif() after set.seed(seed, "Mersenne-Twister", sample.kind = "Rejection")
#   mt_index        sample.int(n, 1) - 1, repeated, same seeding
#   lecuyer_unif    runif() after RNGkind("L'Ecuyer-CMRG"); set.seed(seed)
#   lecuyer_sample  sample.int(n, k) under the same seeding (n <= 1e7, where R
#                   samples from a pool rather than with its hashing sampler)
# Doubles are written with 17 significant digits so they parse back exactly.
args <- commandArgs(trailingOnly = TRUE)
live <- length(args) > 0 && args[1] == "live"

fmt <- function(x) paste(sprintf("%.17g", x), collapse = " ")
fmt_int <- function(x) paste(sprintf("%.0f", as.numeric(x)), collapse = " ")
emit <- function(head, body) cat(head, "|", body, "\n")

mt_seed <- function(s) set.seed(s, kind = "Mersenne-Twister", normal.kind = "Inversion",
                                 sample.kind = "Rejection")
lecuyer_seed <- function(s) {
  RNGkind("L'Ecuyer-CMRG", normal.kind = "Inversion", sample.kind = "Rejection")
  set.seed(s)
}

if (live) {
  seeds <- c(7L, 2024L, -99L, 1000000007L, 314159265L, -2147483647L)
  unif_count <- 1500L   # crosses two regenerations of the 624-word state
  index_count <- 700L   # two uniforms per draw above 2^15: also crosses them
} else {
  seeds <- c(0L, 1L, 42L, 123456789L, 2147483647L, -1L)
  unif_count <- 100L
  index_count <- 40L
}
bounds <- c(1, 2, 10, 32768, 65536, 1e9, 2^31 - 1, 2^40, 1e15)
samples <- list(c(1, 1), c(5, 5), c(10, 3), c(100, 50), c(20000, 15), c(65536, 40), c(1e7, 5))
if (live) samples <- c(samples, list(c(20000, 500), c(3000, 3000)))

for (s in seeds) {
  mt_seed(s)
  emit(paste("mt_unif", s), fmt(runif(unif_count)))
  for (n in bounds) {
    mt_seed(s)
    emit(paste("mt_index", s, sprintf("%.0f", n)),
         fmt_int(vapply(seq_len(index_count), function(i) sample.int(n, 1L), 0) - 1))
  }
  lecuyer_seed(s)
  emit(paste("lecuyer_unif", s), fmt(runif(unif_count)))
  for (nk in samples) {
    lecuyer_seed(s)
    emit(paste("lecuyer_sample", s, sprintf("%.0f", nk[1]), sprintf("%.0f", nk[2])),
         fmt_int(sample.int(nk[1], nk[2])))
  }
}
