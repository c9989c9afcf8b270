// niz-locks: twenty workers over one shared array with one lock per element.
//
// A reader passes through the lock of its own element, so it waits only while a
// writer holds that element. A writer locks the elements its change concerns:
// an append every live element, a deletion its index and everything above it
// (the elements it moves). A range is taken one lock at a time in ascending
// order, each step checked against the count as it is at that moment.
//
// Appends and deletions are admitted one at a time: a writer takes its range and,
// holding it, is admitted only when no append and no deletion is counted. It
// lowers its counter as soon as the array is changed but keeps its range through
// its last pause, so a writer whose range does not meet the one still held (a
// deletion past the end, or of the slot an append has just filled) can be
// admitted meanwhile. Fairness: none; every finishing writer broadcasts, and
// whichever waiter first retakes its range and finds both counters at 0 goes on.
//
// Lock order: element locks in ascending index order, then `mutexDodavanje`.
// A reader holds at most one element lock and never `mutexDodavanje`.

#include <pthread.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

constexpr int BROJ_RADNIKA = 20;
constexpr int POCETNI_BROJ = 9;
// Every worker appends at most once, so this many slots hold every run and an
// append always finds a free slot with a lock of its own.
constexpr int KAPACITET = POCETNI_BROJ + BROJ_RADNIKA;

// ---- Array and element locks -----------------------------------------------

// Element lock i guards niz[i] while i is live. An append writes the slot just
// past the live elements while it holds every live element's lock; no one else
// touches that slot until the append has raised the count.
int32_t niz[KAPACITET] = {1, 2, 3, 4, 5, 6, 7, 8, 9};

constexpr std::array<pthread_mutex_t, KAPACITET> tablicaBrava() {
  std::array<pthread_mutex_t, KAPACITET> tablica{};
  for (pthread_mutex_t& brava : tablica) brava = PTHREAD_MUTEX_INITIALIZER;
  return tablica;
}
constinit std::array<pthread_mutex_t, KAPACITET> mutex = tablicaBrava();

// Number of live elements. Changed only by an admitted writer holding its range;
// read without a common lock by the dispatcher, readers and range loops, so it is
// a relaxed atomic.
std::atomic<int32_t> trenutniBroj{POCETNI_BROJ};

int32_t broj() { return trenutniBroj.load(std::memory_order_relaxed); }

// ---- Writer admission --------------------------------------------------------

// `mutexDodavanje` must be held when using these. It is taken only after any
// element locks a thread holds, never before them.
pthread_mutex_t mutexDodavanje = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t condDodavanje = PTHREAD_COND_INITIALIZER;  // appends wait here for admission
pthread_cond_t condBrisanje = PTHREAD_COND_INITIALIZER;   // deletions wait here for admission
int32_t brDodaju = 0;  // appends admitted and not yet through their store
int32_t brBrisu = 0;   // deletions admitted and not yet through their shift or failure line

// ---- Shared generator and process status -----------------------------------

// Every draw from `rand` is taken under `mutexRand`, so draws never race.
pthread_mutex_t mutexRand = PTHREAD_MUTEX_INITIALIZER;

int izvuci() {
  pthread_mutex_lock(&mutexRand);
  int vrednost = rand();
  pthread_mutex_unlock(&mutexRand);
  return vrednost;
}

// Set by main when a worker could not be started; read by the exit handler.
std::atomic<bool> radnikNijePokrenut{false};

void pauzaA() { sleep(izvuci() % 3); }
void pauzaB() { sleep(izvuci() % 3 + 1); }

// ---- Ranges --------------------------------------------------------------------

// Takes element locks from `od` upward while the next index is below the count
// as it is then. Returns the end of the range: the locks taken are od..kraj-1.
int uzmiOpseg(int od) {
  int i = od;
  while (i < broj()) pthread_mutex_lock(&mutex[i++]);
  return i;
}

void pustiOpseg(int od, int kraj) {
  for (int i = od; i < kraj; ++i) pthread_mutex_unlock(&mutex[i]);
}

// Waits while a writer holds the element, without keeping its lock.
void prodji(int index) {
  pthread_mutex_lock(&mutex[index]);
  pthread_mutex_unlock(&mutex[index]);
}

// Admits a writer whose range starts at `od` and raises its counter. The
// counters are tested with the range held. A waiting writer holds no element
// lock, because the admitted writer must retake its own range before it can
// finish and broadcast; and since the counters are tested, changed and the wake
// rules run under `mutexDodavanje`, no broadcast falls between the test and the
// wait. A finishing writer's wake rule ends the wait; the range is retaken, in
// lock order, before the counters are tested again.
void primi(int od, int32_t* brojac, pthread_cond_t* red) {
  int kraj = uzmiOpseg(od);
  pthread_mutex_lock(&mutexDodavanje);
  while (brDodaju > 0 || brBrisu > 0) {
    pustiOpseg(od, kraj);
    pthread_cond_wait(red, &mutexDodavanje);
    pthread_mutex_unlock(&mutexDodavanje);
    kraj = uzmiOpseg(od);
    pthread_mutex_lock(&mutexDodavanje);
  }
  ++*brojac;
  pthread_mutex_unlock(&mutexDodavanje);
  pustiOpseg(od, kraj);
}

// Ends a writer's admission once its change is made; its wake rule, after its
// last pause, tells the waiters.
void spusti(int32_t* brojac) {
  pthread_mutex_lock(&mutexDodavanje);
  --*brojac;
  pthread_mutex_unlock(&mutexDodavanje);
}

// Wake rules of a finished writer: while another writer of its own kind is
// admitted, only its own kind; while one of the other kind is, only the other
// kind; when none is, the other kind and then its own. Caller holds
// `mutexDodavanje`.
void probudiPosleDodavanja() {
  if (brDodaju != 0) {
    pthread_cond_broadcast(&condDodavanje);
    return;
  }
  pthread_cond_broadcast(&condBrisanje);
  if (brBrisu == 0) pthread_cond_broadcast(&condDodavanje);
}

void probudiPosleBrisanja() {
  if (brBrisu != 0) {
    pthread_cond_broadcast(&condBrisanje);
    return;
  }
  pthread_cond_broadcast(&condDodavanje);
  if (brDodaju == 0) pthread_cond_broadcast(&condBrisanje);
}

// ---- Operations ----------------------------------------------------------------

void citanje(long id, int index) {
  if (index >= broj()) {
    printf("NEUSPEH: Radnik %ld naredba citanje\n", id);
    return;
  }
  prodji(index);
  pauzaA();
  printf("IZVRSAVANJE: Radnik %ld naredba citanje\n", id);
  prodji(index);
  pauzaB();
  printf("USPEH: Radnik %ld naredba citanje\n", id);
}

void dodavanjeNaKrajNiza(long id, int vrednost) {
  primi(0, &brDodaju, &condDodavanje);
  pauzaA();
  printf("IZVRSAVANJE: Radnik %ld naredba dodavanje\n", id);

  int kraj = uzmiOpseg(0);
  int32_t n = broj();
  niz[n] = vrednost;
  trenutniBroj.store(n + 1, std::memory_order_relaxed);
  spusti(&brDodaju);

  pauzaB();
  printf("USPEH: Radnik %ld naredba dodavanje\n", id);
  pthread_mutex_lock(&mutexDodavanje);
  probudiPosleDodavanja();
  pthread_mutex_unlock(&mutexDodavanje);
  pustiOpseg(0, kraj);
}

void brisanje(long id, int index) {
  primi(index, &brBrisu, &condBrisanje);
  pauzaA();
  printf("IZVRSAVANJE: Radnik %ld naredba brisanje\n", id);

  int kraj = uzmiOpseg(index);
  int32_t n = broj();
  if (index >= n || index < 0) {
    // A deletion admitted earlier shrank the array below our index meanwhile.
    printf("NEUSPEH: Radnik %ld naredba brisanje\n", id);
    pthread_mutex_lock(&mutexDodavanje);
    --brBrisu;
    probudiPosleBrisanja();
    pthread_mutex_unlock(&mutexDodavanje);
    pustiOpseg(index, kraj);
    return;
  }
  for (int i = index; i < n - 1; ++i) niz[i] = niz[i + 1];
  spusti(&brBrisu);

  pauzaB();
  printf("USPEH: Radnik %ld naredba brisanje\n", id);
  // Nobody else changes the count while we hold a lock at or below its end.
  trenutniBroj.store(n - 1, std::memory_order_relaxed);
  pthread_mutex_lock(&mutexDodavanje);
  probudiPosleBrisanja();
  pthread_mutex_unlock(&mutexDodavanje);
  pustiOpseg(index, kraj);
}

// ---- Arrival and dispatch ----------------------------------------------------

const char* const NAREDBE[3] = {"citanje", "dodavanje", "brisanje"};

void dolazak(long id, int kod) { printf("ZAHTEV: Radnik %ld naredba %s\n", id, NAREDBE[kod]); }

void* f(void* arg) {
  long id = reinterpret_cast<long>(arg);
  int kod = izvuci() % 3;
  dolazak(id, kod);
  int32_t n = broj();
  int izvucen = izvuci();
  // An empty array has no index to draw: 0 is past its end, so the command fails.
  int index = n > 0 ? izvucen % n : 0;
  int vrednost = izvuci() % 10;
  switch (kod) {
    case 0: citanje(id, index); break;
    case 1: dodavanjeNaKrajNiza(id, vrednost); break;
    default: brisanje(id, index); break;
  }
  return nullptr;
}

// Runs when the last thread ends: the trace must have reached standard output,
// and every worker must have run, or the status is not 0.
void zavrsi() {
  int greska = fflush(stdout) != 0 ? errno : 0;
  bool upisan = greska == 0 && !ferror(stdout);
  if (!upisan)
    fprintf(stderr, "niz-locks: cannot write the trace: %s\n",
            greska != 0 ? strerror(greska) : "write error");
  if (!upisan || radnikNijePokrenut.load(std::memory_order_relaxed)) _exit(1);
}

int main() {
  atexit(zavrsi);
  srand(time(nullptr));
  pthread_t niti[BROJ_RADNIKA];
  bool pokrenut[BROJ_RADNIKA];
  for (long i = 0; i < BROJ_RADNIKA; ++i) {
    int greska = pthread_create(&niti[i], nullptr, f, reinterpret_cast<void*>(i));
    pokrenut[i] = greska == 0;
    if (greska != 0) {
      fprintf(stderr, "niz-locks: cannot start worker %ld: %s\n", i, strerror(greska));
      radnikNijePokrenut.store(true, std::memory_order_relaxed);
    }
  }
  for (int i = 0; i < BROJ_RADNIKA; ++i)
    if (pokrenut[i]) pthread_join(niti[i], nullptr);
  pthread_exit(nullptr);
}
